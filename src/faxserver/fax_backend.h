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

// The host to ask, from the job's originating host name: a name, an IPv4
// address, or an IPv6 address in brackets, possibly as "[v1.ADDRESS]".
std::string DesktopHost(std::string_view originatingHost);

// What the queue's device URI may set: corvane-fax:/?port=P&timeout=S&
// connect-timeout=S&hylafax=HOST[:PORT]&allow-local=yes&notify=no&
// mail-domain=DOMAIN&name-user=no.
inline constexpr long kMaxAnswerSeconds = 86400;
inline constexpr long kMaxConnectSeconds = 600;
struct BackendSettings {
    int port = kDefaultPort;
    std::chrono::milliseconds answerTimeout = kDefaultAnswerTimeout;
    std::chrono::milliseconds connectTimeout = kDefaultConnectTimeout;
    std::string hylafaxHost; // empty: sendfax's own default
    bool allowLocal = false; // ask jobs printed on the fax server itself (at localhost)
    bool notify = true;      // HylaFAX mails its notice to the job's owner
    std::string mailDomain;  // notices go to OWNER@mailDomain, not to a local account
    bool nameUser = true;    // name the job's user to the desktop (the USER line)
};
// Nullopt (and WHY) for a URI of another scheme or an unknown or bad setting.
std::optional<BackendSettings> ParseDeviceUri(std::string_view uri, std::string &why);

// A line for the scheduler: DETAIL goes to its log only; SHOWN, which names
// no fax number, recipient, owner or desktop, is what every user can read
// as the job's and the queue's state message.
struct Report {
    std::string level; // "INFO", "WARNING", "ERROR"
    std::string detail;
    std::string shown;
};
// The lines the backend writes for REPORT, in one piece: the scheduler
// reads both at once, and the state message it keeps is the last.
std::string ReportLines(const Report &report);

// What the backend does with an answer: fax it, or end with a status.
struct Verdict {
    bool fax = false; // send the document to destination
    BackendStatus status = BackendStatus::Failed;
    Report report;
};
Verdict Decide(const Answer &answer, std::string_view host);

// The owner HylaFAX records for USER (the job's user, as the print system
// names it): USER itself when hfaxd takes it as it is, otherwise USER with
// every byte but letters, digits, ".", "_" and "-" as "_" (and a leading
// "-" or "." made "_"), at most 64 bytes.
std::string HylafaxOwner(std::string_view user);

// Where HylaFAX mails its notice for OWNER: OWNER@mailDomain when the
// administrator set a domain, OWNER when that is a local account
// (ISACCOUNT says), or nothing: no notice.
std::string NoticeAddress(const std::string &owner, const BackendSettings &settings, bool isAccount);

// HylaFAX's job number in what sendfax printed ("request id is N ..."), or
// empty when it printed none.
std::string SendfaxRequestId(std::string_view output);

} // namespace corvane::fax
