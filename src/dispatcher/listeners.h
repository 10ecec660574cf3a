#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

// The dispatcher's two listening sockets, taken from the service manager or
// made here. Each function throws std::system_error with what failed.
struct Listeners {
    int fax = -1;     // TCP, the fax servers' port
    int program = -1; // Unix seqpacket, where users' programs register
};

// The sockets the service manager passed (LISTEN_PID, LISTEN_FDS), told apart
// by their kind; both -1 when none were passed to this process. The
// variables are removed so that nothing started later takes them.
Listeners InheritedListeners();

// Listens on the port on every address, IPv6 and IPv4, without SO_REUSEPORT,
// so that no other user's socket can share the port while this one holds it.
int ListenOnFaxPort(uint16_t port);

// Listens at the path, readable and writable by everyone (the system tells
// who connects). A socket file left by a dispatcher that has ended is
// replaced; one that still answers is not.
int ListenForPrograms(const std::string &path);

// The account name of a user id, from the system's user database.
std::string AccountName(uid_t uid);
