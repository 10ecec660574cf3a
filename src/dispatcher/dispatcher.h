#pragma once

#include "routing.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>

// Owns the fax servers' port on a host where several people are signed in,
// and hands each connection to the program of the user it is for.
//
// Users' programs connect to the registration socket (a Unix seqpacket
// socket); the user is the one the system reports for that connection
// (SO_PEERCRED), never what the program says. A program sends
// "READY n" when it is free, n being the number of connections it has been
// handed so far, and "BUSY" when it is not; each connection is handed over
// as the descriptor of one "CONNECTION" message (SCM_RIGHTS), after which the
// program counts as busy until it says READY with the new count.
//
// A fax server's connection is given one second to send its first line.
// Nothing else of it is ever read. Refusals are resets.
class Dispatcher {
public:
    using Clock = std::chrono::steady_clock;
    // The account name of a user id; nothing when the id has none.
    using AccountOf = std::function<std::optional<std::string>(uid_t)>;

    struct Config {
        int faxListener = -1;      // listening TCP socket, taken over
        int programListener = -1;  // listening Unix seqpacket socket, taken over
        AccountOf account;
        std::chrono::milliseconds lineDeadline{1000};
        std::size_t maxWaiting = 1024;   // fax connections not yet routed
        std::size_t maxPrograms = 1024;  // registrations, all users together
        std::size_t maxPerUser = 16;     // registrations of one user
    };

    explicit Dispatcher(Config config);
    ~Dispatcher();
    Dispatcher(const Dispatcher &) = delete;
    Dispatcher &operator=(const Dispatcher &) = delete;

    // Serves until Stop; throws std::system_error when it cannot start.
    void Run();
    // From any thread or a signal handler.
    void Stop();

private:
    struct Waiting {
        Clock::time_point deadline;
        uint64_t serial;
    };
    struct Registration {
        uid_t uid;
        std::string account;
        uint64_t handed = 0;
        bool free = false;
        bool announced = false; // its first READY has been logged
    };

    void Watch(int set, int fd, uint32_t events, uint64_t tag);
    void HearPrograms();
    void AcceptFaxServers();
    void AcceptPrograms();
    // ended: the peer has shut down its sending side
    void ReadFirstLine(int fd, bool ended);
    void ExpireWaiting();
    void Route(int fd, const routing::Request &request);
    void Forget(int fd);
    void HearProgram(int fd);
    bool HearOne(int fd);
    void DropProgram(int fd);
    int Timeout() const;
    // Whether a waiting connection's event (its number and the low half of
    // its serial) is for the connection waiting under that number now.
    bool Current(int fd, uint64_t serial) const;

    Config m_config;
    int m_epoll = -1;
    int m_programEpoll = -1; // the program listener and programs; in m_epoll
    int m_wake = -1;
    uint64_t m_serial = 0;
    std::map<int, Waiting> m_waiting;
    std::deque<std::pair<int, uint64_t>> m_byDeadline; // oldest first
    std::map<int, Registration> m_programs;
};

// Closes a TCP connection so that the peer sees a reset, not an orderly end.
void RefuseWithReset(int fd);
