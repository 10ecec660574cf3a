#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which user's program a fax server's connection goes to. Pure rules; the
// dispatcher's loop feeds them what arrived and what is registered.
namespace routing {

// The longest first line a fax server may send, CR LF included.
constexpr std::size_t kMaxLine = 256;

struct FirstLine {
    enum Kind {
        Incomplete, // no line end yet, and still short enough to wait for one
        Named,      // "USER name" CR LF
        Refused,    // too long, malformed, or not a USER line
    } kind = Incomplete;
    // Named: the account name, with any "DOMAIN\" or "@realm" taken off.
    std::string user;
    // Named: bytes of the line, CR LF included, to take off the connection.
    std::size_t length = 0;
};

// Reads what a fax server has sent so far; only bytes up to the first line
// feed (and at most kMaxLine of them) are looked at.
FirstLine ReadFirstLine(std::string_view received);

// Whether the name a fax server sent (already without domain or realm)
// names this account: letters compare without regard to case.
bool SameUser(std::string_view named, std::string_view account);

// One registered program, as the routing sees it.
struct Program {
    std::string account;
    bool free = false;
};

// What the fax server said within the first second.
struct Request {
    enum Kind { Named, Silent } kind = Silent;
    std::string user; // Named only
};

// The index of the program that takes the request, or nothing for a refusal:
// a named user's free program; a silent server's request only when exactly
// one user is registered, and then that user's free program.
std::optional<std::size_t> Choose(const Request &request, const std::vector<Program> &programs);

} // namespace routing
