#include "peer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace peer {
namespace {

int BoundSocket(Family family, int &port)
{
    const int fd = ::socket(family == Family::V4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (family == Family::V4) {
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

Peer::Peer(std::function<void(int fd)> serve, Family family)
{
    m_listener = BoundSocket(family, m_port);
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
