#include "host_addresses.h"

#ifndef _WIN32
#include <netdb.h>
#include <netinet/in.h>
#endif

#include <algorithm>
#include <cstring>

PeerAddress PeerAddressOf(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET) {
        std::array<uint8_t, 4> ipv4;
        std::memcpy(ipv4.data(), &reinterpret_cast<const sockaddr_in &>(address).sin_addr, 4);
        return MappedIpv4(ipv4);
    }
    PeerAddress ipv6{};
    if (address.ss_family == AF_INET6)
        std::memcpy(ipv6.data(), &reinterpret_cast<const sockaddr_in6 &>(address).sin6_addr, 16);
    return ipv6;
}

std::vector<PeerAddress> ResolveHost(const std::string &host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    std::vector<PeerAddress> addresses;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo *entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6)
            continue;
        sockaddr_storage address{};
        std::memcpy(&address, entry->ai_addr, std::min(sizeof address, size_t(entry->ai_addrlen)));
        addresses.push_back(PeerAddressOf(address));
    }
    freeaddrinfo(found);
    return addresses;
}
