#pragma once

// Addresses as the operating system's socket API gives them (POSIX or
// Winsock), in the form the list of fax servers compares.
#include "peer_filter.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#endif

#include <string>
#include <vector>

PeerAddress PeerAddressOf(const sockaddr_storage &address);
// Every address the host name stands for now; none when it cannot be found.
std::vector<PeerAddress> ResolveHost(const std::string &host);
