#pragma once
// The print-queue side: what the fax backend reads from its print system and
// what it makes of each answer.

#include "desktop_query.h"

#include <optional>
#include <string>
#include <string_view>

namespace corvane::fax {

// The print system's backend exit statuses.
enum class BackendStatus {
    Ok = 0,     // done: the fax is queued
    Failed = 1, // the job failed; the queue's error policy decides what follows
    Hold = 3,
    Stop = 4,
    Cancel = 5, // the job is cancelled
    Retry = 6,  // the job stays queued and is tried again later
};

// The value of NAME in a job's option string (argv[5]: "name=value ..."
// with quotes and backslashes as the print system writes them).
std::optional<std::string> JobOption(std::string_view options, std::string_view name);

// The host to ask, from the job's originating host name: a name, an IPv4
// address, or an IPv6 address in brackets, possibly as "[v1.ADDRESS]".
std::string DesktopHost(std::string_view originatingHost);

// What the queue's device URI may set: corvane-fax:/?port=P&timeout=S&
// connect-timeout=S&hylafax=HOST[:PORT].
struct BackendSettings {
    int port = kDefaultPort;
    std::chrono::milliseconds answerTimeout = kDefaultAnswerTimeout;
    std::chrono::milliseconds connectTimeout = kDefaultConnectTimeout;
    std::string hylafaxHost; // empty: sendfax's own default
};
// Nullopt (and WHY) for a URI of another scheme or an unknown or bad setting.
std::optional<BackendSettings> ParseDeviceUri(std::string_view uri, std::string &why);

// What the backend does with an answer other than one to fax: its exit
// status and the line for the job's log ("LEVEL: text").
struct Verdict {
    bool fax = false; // send the document to destination
    BackendStatus status = BackendStatus::Failed;
    std::string logLine;
};
Verdict Decide(const Answer &answer, std::string_view host);

} // namespace corvane::fax
