#include "dispatcher.h"

#include "descriptor_passing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

// The epoll tag of the wake-up descriptor; other tags are descriptors.
constexpr uint64_t kWakeTag = ~uint64_t(0);
constexpr uint64_t kProgramsTag = ~uint64_t(0) - 1;
constexpr std::size_t kMaxProgramMessage = 64;
constexpr std::string_view kConnection = "CONNECTION";

[[noreturn]] void Fail(const char *what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

bool HandOver(int program, int connection)
{
    return SendWithDescriptor(program, kConnection, connection, MSG_DONTWAIT | MSG_NOSIGNAL) == ssize_t(kConnection.size());
}

} // namespace

void RefuseWithReset(int fd)
{
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
}

Dispatcher::Dispatcher(Config config) : m_config(std::move(config))
{
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_programEpoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_epoll < 0 || m_programEpoll < 0 || m_wake < 0)
        Fail("epoll");
}

Dispatcher::~Dispatcher()
{
    for (const auto &[fd, waiting] : m_waiting)
        RefuseWithReset(fd);
    for (const auto &[fd, program] : m_programs)
        ::close(fd);
    for (int fd : {m_config.faxListener, m_config.programListener, m_wake, m_programEpoll, m_epoll})
        if (fd >= 0)
            ::close(fd);
}

void Dispatcher::Stop()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
}

void Dispatcher::Watch(int set, int fd, uint32_t events, uint64_t tag)
{
    epoll_event event{};
    event.events = events;
    event.data.u64 = tag;
    if (::epoll_ctl(set, EPOLL_CTL_ADD, fd, &event) != 0)
        Fail("epoll_ctl");
}

void Dispatcher::Run()
{
    for (int listener : {m_config.faxListener, m_config.programListener})
        ::fcntl(listener, F_SETFL, ::fcntl(listener, F_GETFL) | O_NONBLOCK);
    // Programs have a set of their own, so that what they said can be heard
    // right before any request is routed.
    Watch(m_programEpoll, m_config.programListener, EPOLLIN, uint64_t(m_config.programListener));
    Watch(m_epoll, m_programEpoll, EPOLLIN, kProgramsTag);
    Watch(m_epoll, m_config.faxListener, EPOLLIN, uint64_t(m_config.faxListener));
    Watch(m_epoll, m_wake, EPOLLIN, kWakeTag);

    epoll_event events[64];
    for (;;) {
        const int count = ::epoll_wait(m_epoll, events, 64, Timeout());
        if (count < 0 && errno != EINTR)
            Fail("epoll_wait");
        for (int i = 0; i < count; ++i) {
            const uint64_t tag = events[i].data.u64;
            if (tag == kWakeTag)
                return;
            if (tag == kProgramsTag)
                HearPrograms();
            else if (tag == uint64_t(m_config.faxListener))
                AcceptFaxServers();
            else if (const int fd = int(tag & 0xffffffff); Current(fd, tag >> 32))
                ReadFirstLine(fd, events[i].events & (EPOLLRDHUP | EPOLLHUP));
            // else: a connection already settled in this pass, its number
            // perhaps taken by a newer one
        }
        ExpireWaiting();
    }
}

bool Dispatcher::Current(int fd, uint64_t serial) const
{
    const auto found = m_waiting.find(fd);
    return found != m_waiting.end() && (found->second.serial & 0xffffffff) == serial;
}

int Dispatcher::Timeout() const
{
    for (const auto &[fd, serial] : m_byDeadline) {
        const auto found = m_waiting.find(fd);
        if (found == m_waiting.end() || found->second.serial != serial)
            continue;
        const auto left = found->second.deadline - Clock::now();
        return int(std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    }
    return -1;
}

void Dispatcher::AcceptFaxServers()
{
    // A few at a time: a storm of connections must not keep the loop from
    // the deadlines; the rest wakes the loop again.
    for (int accepted = 0; accepted < 64; ++accepted) {
        const int fd = ::accept4(m_config.faxListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return; // EAGAIN, or out of descriptors: the backlog waits
        if (m_waiting.size() >= m_config.maxWaiting) {
            RefuseWithReset(fd);
            continue;
        }
        // Edge-triggered: the first line is only peeked at, so a partial one
        // stays readable; each new arrival wakes the loop once.
        const uint64_t serial = ++m_serial;
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        event.data.u64 = serial << 32 | uint64_t(fd);
        if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
            RefuseWithReset(fd);
            continue;
        }
        m_waiting[fd] = {Clock::now() + m_config.lineDeadline, serial};
        m_byDeadline.emplace_back(fd, serial);
        ReadFirstLine(fd, false);
    }
}

void Dispatcher::ReadFirstLine(int fd, bool ended)
{
    char peeked[routing::kMaxLine];
    const ssize_t n = ::recv(fd, peeked, sizeof peeked, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) { // gone before saying anything
        Forget(fd);
        ::close(fd);
        return;
    }
    const routing::FirstLine line = routing::ReadFirstLine({peeked, std::size_t(n)});
    if (line.kind == routing::FirstLine::Incomplete && !ended)
        return; // the rest, or the deadline, decides
    if (line.kind != routing::FirstLine::Named) { // never to be finished, or refused
        Forget(fd);
        RefuseWithReset(fd);
        return;
    }
    // Takes exactly the line off the connection; what follows stays for the
    // program (which reads nothing).
    char discard[routing::kMaxLine];
    if (::recv(fd, discard, line.length, MSG_DONTWAIT) != ssize_t(line.length)) {
        Forget(fd);
        RefuseWithReset(fd);
        return;
    }
    Route(fd, {routing::Request::Named, line.user});
}

void Dispatcher::ExpireWaiting()
{
    const auto now = Clock::now();
    while (!m_byDeadline.empty()) {
        const auto [fd, serial] = m_byDeadline.front();
        const auto found = m_waiting.find(fd);
        if (found != m_waiting.end() && found->second.serial == serial) {
            if (found->second.deadline > now)
                return;
            char byte;
            const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                Route(fd, {routing::Request::Silent, {}}); // said nothing at all
            else {
                Forget(fd); // a line begun and not finished, or gone
                RefuseWithReset(fd);
            }
        }
        m_byDeadline.pop_front();
    }
}

void Dispatcher::Forget(int fd)
{
    m_waiting.erase(fd);
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
}

void Dispatcher::HearPrograms()
{
    epoll_event events[64];
    const int count = ::epoll_wait(m_programEpoll, events, 64, 0);
    for (int i = 0; i < count; ++i) {
        const int fd = int(events[i].data.u64);
        if (fd == m_config.programListener)
            AcceptPrograms();
        else if (m_programs.contains(fd))
            HearProgram(fd);
    }
}

void Dispatcher::Route(int fd, const routing::Request &request)
{
    Forget(fd);
    // A program's READY sent before this fax server connected counts for it.
    HearPrograms();
    std::vector<routing::Program> programs;
    std::vector<int> descriptors;
    for (const auto &[program, registration] : m_programs) {
        programs.push_back({registration.account, registration.free});
        descriptors.push_back(program);
    }
    const auto chosen = routing::Choose(request, programs);
    if (!chosen) {
        RefuseWithReset(fd);
        return;
    }
    const int program = descriptors[*chosen];
    Registration &registration = m_programs.at(program);
    registration.free = false;
    if (!HandOver(program, fd)) {
        RefuseWithReset(fd);
        return;
    }
    ++registration.handed;
    ::close(fd);
}

void Dispatcher::AcceptPrograms()
{
    for (;;) {
        const int fd = ::accept4(m_config.programListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        ucred peer{};
        socklen_t length = sizeof peer;
        std::optional<std::string> account;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof peer)
            account = m_config.account(peer.uid);
        const auto sameUser = std::count_if(m_programs.begin(), m_programs.end(),
                                            [&](const auto &entry) { return entry.second.uid == peer.uid; });
        if (!account || account->empty() || m_programs.size() >= m_config.maxPrograms ||
            std::size_t(sameUser) >= m_config.maxPerUser) {
            ::close(fd);
            continue;
        }
        Watch(m_programEpoll, fd, EPOLLIN | EPOLLRDHUP, uint64_t(fd));
        m_programs[fd] = {peer.uid, *account};
        HearProgram(fd); // what it said before it was accepted counts already
    }
}

void Dispatcher::HearProgram(int fd)
{
    // A few at a time: a program that never stops talking must not keep
    // the loop from everyone else; the rest wakes the loop again.
    for (int heard = 0; heard < 16 && m_programs.contains(fd) && HearOne(fd); ++heard) {
    }
}

bool Dispatcher::HearOne(int fd)
{
    char text[kMaxProgramMessage + 1];
    const ReceivedMessage received =
        ReceiveWithDescriptors(fd, std::span(text, kMaxProgramMessage), 16, MSG_DONTWAIT);
    const ssize_t n = received.length;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return false;
    // Any descriptors a program sent along are closed: the dispatcher takes none.
    for (const int sent : received.descriptors)
        ::close(sent);
    if (n <= 0 || (received.flags & (MSG_TRUNC | MSG_CTRUNC))) {
        DropProgram(fd);
        return false;
    }
    const std::string_view said(text, std::size_t(n));
    Registration &registration = m_programs.at(fd);
    if (said == "BUSY") {
        registration.free = false;
    } else if (said.starts_with("READY ")) {
        // A READY written before the latest hand-over arrived is stale.
        registration.free = said.substr(6) == std::to_string(registration.handed);
        if (registration.free && !registration.announced) {
            registration.announced = true;
            std::fprintf(stderr, "program of %s (uid %u) registered\n", registration.account.c_str(),
                         unsigned(registration.uid));
        }
    }
    // Anything else, a claim to be some user included, is ignored.
    return true;
}

void Dispatcher::DropProgram(int fd)
{
    ::epoll_ctl(m_programEpoll, EPOLL_CTL_DEL, fd, nullptr);
    const Registration &registration = m_programs.at(fd);
    if (registration.announced)
        std::fprintf(stderr, "program of %s (uid %u) gone\n", registration.account.c_str(), unsigned(registration.uid));
    m_programs.erase(fd);
    ::close(fd);
}
