#include "peer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace peer {
namespace {

int BoundSocket(Family family, int &port, const std::string &at = {})
{
    addrinfo *found = nullptr;
    if (!at.empty()) {
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        hints.ai_socktype = SOCK_STREAM;
        if (::getaddrinfo(at.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
            return -1;
        family = found->ai_family == AF_INET ? Family::V4 : Family::V6;
    }
    const int fd = ::socket(family == Family::V4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (found)
            ::freeaddrinfo(found);
        return -1;
    }
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (found) {
        std::memcpy(&storage, found->ai_addr, found->ai_addrlen);
        length = found->ai_addrlen;
        ::freeaddrinfo(found);
    } else if (family == Family::V4) {
        auto *address = reinterpret_cast<sockaddr_in *>(&storage);
        address->sin_family = AF_INET;
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *address;
    } else {
        auto *address = reinterpret_cast<sockaddr_in6 *>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_addr = in6addr_loopback;
        length = sizeof *address;
    }
    if (::bind(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&storage), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(family == Family::V4 ? reinterpret_cast<sockaddr_in *>(&storage)->sin_port
                                      : reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port);
    return fd;
}

} // namespace

Peer::Peer(std::function<void(int fd)> serve, Family family, const std::string &at, int port)
{
    m_port = port;
    m_listener = BoundSocket(family, m_port, at);
    if (m_listener >= 0 && ::listen(m_listener, 4) != 0) {
        ::close(m_listener);
        m_listener = -1;
    }
    if (m_listener < 0)
        return;
    m_thread = std::thread([this, serve = std::move(serve)] {
        pollfd entry{m_listener, POLLIN, 0};
        if (::poll(&entry, 1, 30'000) != 1)
            return;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        serve(fd);
        ::close(fd);
    });
}

Peer::~Peer()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

void WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t count = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (count <= 0)
            return;
        data.remove_prefix(static_cast<std::size_t>(count));
    }
}

void WaitForClientClose(int fd)
{
    char byte;
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, 30'000) == 1 && ::recv(fd, &byte, 1, 0) > 0) {
    }
}

std::string ReadUntilClose(int fd)
{
    std::string data;
    char buffer[1024];
    pollfd entry{fd, POLLIN, 0};
    while (data.size() < 65536 && ::poll(&entry, 1, 30'000) == 1) {
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0)
            break;
        data.append(buffer, static_cast<std::size_t>(count));
    }
    return data;
}

std::size_t Flood(int fd)
{
    const std::string chunk(65536, 'A');
    std::size_t written = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, 1000) != 1)
            continue;
        const ssize_t count = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (count <= 0)
            break;
        written += static_cast<std::size_t>(count);
    }
    return written;
}

int ClosedPort()
{
    int port = 0;
    const int fd = BoundSocket(Family::V4, port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

} // namespace peer
