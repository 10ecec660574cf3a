#pragma once
// Asks a desktop where a fax goes: connects to its TCP port, sends nothing,
// reads until end-of-stream (never more than a reply can hold) and checks
// what came.

#include "fax_reply.h"

#include <chrono>
#include <string>

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
};

Answer AskDesktop(const Query &query);

} // namespace corvane::fax
