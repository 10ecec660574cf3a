#include "desktop_query.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

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

// Connects to one of ADDRESSES, racing them as RFC 8305 does: the next
// address is tried kStagger after the one before it (or at once when that
// one failed), and the first to connect wins. 0, or the most telling errno
// value (a refusal before other errors; ETIMEDOUT when the deadline passed).
int ConnectAny(const addrinfo *addresses, Clock::time_point deadline, Socket &out)
{
    constexpr auto kStagger = std::chrono::milliseconds(250);
    std::vector<Socket> pending;
    int refused = 0, other = 0;
    const addrinfo *next = addresses;
    auto nextStart = Clock::now();
    for (;;) {
        if (next && Clock::now() >= nextStart) {
            const addrinfo &address = *next;
            next = next->ai_next;
            Socket socket(::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                   address.ai_protocol));
            if (socket.fd() < 0) {
                other = errno;
                continue;
            }
            if (::connect(socket.fd(), address.ai_addr, address.ai_addrlen) == 0) {
                out = std::move(socket);
                return 0;
            }
            if (errno != EINPROGRESS) {
                (errno == ECONNREFUSED ? refused : other) = errno;
                continue;
            }
            pending.push_back(std::move(socket));
            nextStart = Clock::now() + kStagger;
        }
        if (pending.empty() && !next)
            return refused ? refused : other ? other : ENOENT;
        if (Clock::now() >= deadline)
            return ETIMEDOUT;
        auto wake = deadline;
        if (next && !pending.empty() && nextStart < wake)
            wake = nextStart;
        if (pending.empty())
            continue; // start the next address now
        std::vector<pollfd> entries;
        for (const Socket &socket : pending)
            entries.push_back({socket.fd(), POLLOUT, 0});
        const int wait = MillisecondsLeft(wake);
        if (::poll(entries.data(), entries.size(), wait) <= 0)
            continue;
        for (std::size_t i = entries.size(); i-- > 0;) {
            if (entries[i].revents == 0)
                continue;
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(pending[i].fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
            if (error == 0) {
                out = std::move(pending[i]);
                return 0;
            }
            // A reset as the connection is made is a refusal too (a desktop
            // that refuses this fax server resets what it accepted).
            if (error == ECONNRESET)
                error = ECONNREFUSED;
            (error == ECONNREFUSED ? refused : other) = error;
            pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
            nextStart = Clock::now(); // a failed attempt starts the next at once
        }
    }
}

} // namespace

bool IsValidUserName(std::string_view name)
{
    return !name.empty() && name.size() <= kMaxUserBytes && IsOneLineOfText(name);
}

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

    Query shown;
    shown.host = host;
    shown.port = query.port;
    const auto connectDeadline = Clock::now() + query.connectTimeout;
    Socket socket;
    const int error = ConnectAny(found, connectDeadline, socket);
    if (error == ETIMEDOUT)
        return Failed(Outcome::Unreachable, "no connection to " + Where(shown) + " within " + Duration(query.connectTimeout));
    if (error == ECONNREFUSED)
        return Failed(Outcome::Unreachable, Where(shown) + " refused the connection: the desktop program "
                                                           "is not running or is busy with another fax");
    if (error != 0)
        return Failed(Outcome::Unreachable, "cannot connect to " + Where(shown) + ": " + std::strerror(error));

    // The user this request is for, on a desktop that serves several; a
    // desktop that serves one never reads it.
    if (!query.user.empty()) {
        const std::string line = "USER " + query.user + "\r\n";
        (void)::send(socket.fd(), line.data(), line.size(), MSG_NOSIGNAL);
    }

    // One byte past the limit tells an over-long reply from one that fills it.
    std::string data;
    data.resize(kMaxReplyBytes + 1);
    std::size_t received = 0;
    const auto answerDeadline = Clock::now() + query.answerTimeout;
    // Once a complete answer is in, end-of-stream is waited for only briefly:
    // what could still come would only make it malformed.
    std::optional<Clock::time_point> graceEnd;
    for (;;) {
        const auto deadline = graceEnd ? std::min(*graceEnd, answerDeadline) : answerDeadline;
        if (!WaitFor(socket.fd(), POLLIN, deadline)) {
            if (graceEnd)
                break;
            return Failed(Outcome::TimedOut, "no answer from " + Where(shown) + " within " + Duration(query.answerTimeout));
        }
        const ssize_t count = ::recv(socket.fd(), data.data() + received, data.size() - received, 0);
        if (count == 0)
            break;
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            // A desktop that never reads what was sent to it (the USER line)
            // ends its connection with a reset: after a whole answer, that is
            // its end-of-stream.
            if (errno == ECONNRESET && graceEnd)
                break;
            if (errno == ECONNRESET && received == 0)
                return Failed(Outcome::Unreachable, Where(shown) + " refused the request (connection reset): the "
                                                                   "desktop does not serve this fax server, or not now");
            return Failed(Outcome::Unreachable,
                          "connection to " + Where(shown) + " lost: " + std::strerror(errno));
        }
        received += static_cast<std::size_t>(count);
        if (received > kMaxReplyBytes)
            return Failed(Outcome::Malformed, "longer than " + std::to_string(kMaxReplyBytes) + " bytes");
        if (!graceEnd && ParseReply(std::string_view(data.data(), received), query.legacyCodePage).outcome == Outcome::Answered)
            graceEnd = Clock::now() + kEndOfStreamGrace;
    }
    data.resize(received);
    return ParseReply(data, query.legacyCodePage);
}

} // namespace corvane::fax
