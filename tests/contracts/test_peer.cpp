#include "test_peer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socklen_t = int;
namespace {
constexpr intptr_t kInvalid = intptr_t(INVALID_SOCKET);
void CloseSocket(intptr_t s) { closesocket(SOCKET(s)); }
void SetNonBlocking(intptr_t s)
{
    u_long on = 1;
    ioctlsocket(SOCKET(s), FIONBIO, &on);
}
bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
bool IsReset() { return WSAGetLastError() == WSAECONNRESET || WSAGetLastError() == WSAECONNABORTED; }
struct Startup {
    Startup()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
} // namespace
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
namespace {
constexpr intptr_t kInvalid = -1;
void CloseSocket(intptr_t s) { ::close(int(s)); }
void SetNonBlocking(intptr_t s) { ::fcntl(int(s), F_SETFL, ::fcntl(int(s), F_GETFL) | O_NONBLOCK); }
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
bool IsReset() { return errno == ECONNRESET; }
struct Startup {};
} // namespace
#endif

#include <cstring>

namespace {
void EnsureStartup()
{
    static Startup startup;
    (void)startup;
}

// Fills address with loopback at the port.
socklen_t Loopback(sockaddr_storage &address, uint16_t port, bool ipv6)
{
    std::memset(&address, 0, sizeof address);
    if (ipv6) {
        auto &in6 = reinterpret_cast<sockaddr_in6 &>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        in6.sin6_addr = in6addr_loopback;
        return sizeof in6;
    }
    auto &in4 = reinterpret_cast<sockaddr_in &>(address);
    in4.sin_family = AF_INET;
    in4.sin_port = htons(port);
    in4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sizeof in4;
}
} // namespace

TestPeer::TestPeer() : m_socket(kInvalid)
{
    EnsureStartup();
}

TestPeer::~TestPeer()
{
    if (m_socket != kInvalid)
        CloseSocket(m_socket);
}

bool TestPeer::Connect(uint16_t port, bool ipv6)
{
    sockaddr_storage address;
    const socklen_t length = Loopback(address, port, ipv6);
    m_socket = intptr_t(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0));
    if (m_socket == kInvalid)
        return false;
    if (::connect(decltype(::socket(0, 0, 0))(m_socket), reinterpret_cast<sockaddr *>(&address), length) != 0) {
        CloseSocket(m_socket);
        m_socket = kInvalid;
        return false;
    }
    SetNonBlocking(m_socket);
    return true;
}

bool TestPeer::Poll()
{
    if (m_socket == kInvalid || m_ended)
        return m_ended;
    char buffer[4096];
    for (;;) {
        const auto n = ::recv(decltype(::socket(0, 0, 0))(m_socket), buffer, sizeof buffer, 0);
        if (n > 0) {
            m_received.append(buffer, size_t(n));
            continue;
        }
        if (n == 0) {
            m_ended = true;
#ifdef _WIN32
            // Wine reads a reset as the end of the stream; a send of no
            // bytes still fails on it, and succeeds after an orderly end.
            m_reset = ::send(SOCKET(m_socket), "", 0, 0) == SOCKET_ERROR && IsReset();
#endif
        } else if (!WouldBlock()) {
            m_ended = true;
            m_reset = IsReset();
        }
        return m_ended;
    }
}

void TestPeer::Send(const std::string &bytes)
{
    ::send(decltype(::socket(0, 0, 0))(m_socket), bytes.data(), int(bytes.size()), 0);
}

void TestPeer::ShutdownWrite()
{
#ifdef _WIN32
    ::shutdown(SOCKET(m_socket), SD_SEND);
#else
    ::shutdown(int(m_socket), SHUT_WR);
#endif
}

void TestPeer::Reset()
{
    linger hard{};
    hard.l_onoff = 1;
    hard.l_linger = 0;
    ::setsockopt(decltype(::socket(0, 0, 0))(m_socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&hard),
                 sizeof hard);
    CloseSocket(m_socket);
    m_socket = kInvalid;
}

uint16_t FreePort()
{
    EnsureStartup();
    const auto probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_storage address;
    const socklen_t length = Loopback(address, 0, false);
    ::bind(probe, reinterpret_cast<sockaddr *>(&address), length);
    socklen_t got = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &got);
    const uint16_t port = ntohs(reinterpret_cast<sockaddr_in &>(address).sin_port);
    CloseSocket(intptr_t(probe));
    return port;
}
