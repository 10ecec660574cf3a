#pragma once
// Asks a desktop where a fax goes: connects to its TCP port, sends nothing
// (or one line naming the user, for a desktop that serves several), reads until end-of-stream (never more than a reply can hold) and checks
// what came.

#include "fax_reply.h"

#include <chrono>
#include <string>
#include <string_view>

namespace corvane::fax {

inline constexpr int kDefaultPort = 5555;
// How long the user has to answer once the dialog is up.
inline constexpr std::chrono::seconds kDefaultAnswerTimeout{300};
// How long reaching the desktop may take (a host that drops packets).
inline constexpr std::chrono::seconds kDefaultConnectTimeout{10};

struct Query {
    std::string host; // name, IPv4 or IPv6 address (brackets allowed)
    int port = kDefaultPort;
    std::chrono::milliseconds connectTimeout = kDefaultConnectTimeout;
    std::chrono::milliseconds answerTimeout = kDefaultAnswerTimeout;
    std::string user; // when set, sent first as "USER name" CR LF
    std::string legacyCodePage = std::string(kDefaultLegacyCodePage); // for a line 3 that is not UTF-8
};

// How long end-of-stream is waited for once a complete answer has come.
inline constexpr std::chrono::seconds kEndOfStreamGrace{2};

// A user name fit for the USER line: UTF-8 text without control characters,
// at most this many bytes.
inline constexpr std::size_t kMaxUserBytes = 256;
bool IsValidUserName(std::string_view name);

Answer AskDesktop(const Query &query);

} // namespace corvane::fax
