#include "desktop_query.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane::fax {
namespace {

using Clock = std::chrono::steady_clock;

class Socket {
public:
    explicit Socket(int fd = -1) : m_fd(fd) {}
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    Socket(Socket &&other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Socket &operator=(Socket &&other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

Answer Failed(Outcome outcome, std::string detail)
{
    Answer answer;
    answer.outcome = outcome;
    answer.detail = std::move(detail);
    return answer;
}

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return left > 60'000 ? 60'000 : static_cast<int>(left);
}

// Waits for EVENTS on FD until DEADLINE; false when the deadline passed.
bool WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const int wait = MillisecondsLeft(deadline);
        if (wait == 0)
            return false;
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, wait);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return true; // let the following call report the error
    }
}

std::string Duration(std::chrono::milliseconds span)
{
    if (span.count() % 1000 == 0)
        return std::to_string(span.count() / 1000) + " s";
    return std::to_string(span.count()) + " ms";
}

std::string Where(const Query &query)
{
    const bool bare6 = query.host.find(':') != std::string::npos;
    return (bare6 ? "[" + query.host + "]" : query.host) + ":" + std::to_string(query.port);
}

// One non-blocking connect to ADDRESS; 0 or an errno value (ETIMEDOUT when
// the deadline passed).
int ConnectOne(const addrinfo &address, Clock::time_point deadline, Socket &out)
{
    Socket socket(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                           address.ai_protocol));
    if (socket.fd() < 0)
        return errno;
    if (::connect(socket.fd(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS)
            return errno;
        if (!WaitFor(socket.fd(), POLLOUT, deadline))
            return ETIMEDOUT;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return errno;
        if (error != 0)
            return error;
    }
    out = std::move(socket);
    return 0;
}

} // namespace

Answer AskDesktop(const Query &query)
{
    std::string host = query.host;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const std::string port = std::to_string(query.port);
    int status = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (status == EAI_ADDRFAMILY || status == EAI_NONAME) {
        // AI_ADDRCONFIG hides loopback-only families; try again without it.
        hints.ai_flags = AI_NUMERICSERV;
        status = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    }
    if (status != 0)
        return Failed(Outcome::Unreachable, "cannot resolve " + host + ": " + ::gai_strerror(status));
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);

    const Query shown{host, query.port, {}, {}};
    const auto connectDeadline = Clock::now() + query.connectTimeout;
    Socket socket;
    int error = ENOENT;
    for (const addrinfo *address = found; address; address = address->ai_next) {
        error = ConnectOne(*address, connectDeadline, socket);
        if (error == 0 || error == ETIMEDOUT)
            break;
    }
    if (error == ETIMEDOUT)
        return Failed(Outcome::Unreachable, "no connection to " + Where(shown) + " within " + Duration(query.connectTimeout));
    if (error == ECONNREFUSED)
        return Failed(Outcome::Unreachable, Where(shown) + " refused the connection: the desktop program "
                                                           "is not running or is busy with another fax");
    if (error != 0)
        return Failed(Outcome::Unreachable, "cannot connect to " + Where(shown) + ": " + std::strerror(error));

    // One byte past the limit tells an over-long reply from one that fills it.
    std::string data;
    data.resize(kMaxReplyBytes + 1);
    std::size_t received = 0;
    const auto answerDeadline = Clock::now() + query.answerTimeout;
    for (;;) {
        if (!WaitFor(socket.fd(), POLLIN, answerDeadline))
            return Failed(Outcome::TimedOut, "no answer from " + Where(shown) + " within " + Duration(query.answerTimeout));
        const ssize_t count = ::recv(socket.fd(), data.data() + received, data.size() - received, 0);
        if (count == 0)
            break;
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return Failed(Outcome::Unreachable,
                          "connection to " + Where(shown) + " lost: " + std::strerror(errno));
        }
        received += static_cast<std::size_t>(count);
        if (received > kMaxReplyBytes)
            return Failed(Outcome::Malformed, "longer than " + std::to_string(kMaxReplyBytes) + " bytes");
    }
    data.resize(received);
    return ParseReply(data);
}

} // namespace corvane::fax
