#pragma once
// A dispatcher on a free port and a private registration socket, in a thread
// of the test; programs registered as other user ids; fax servers on
// loopback. Needs root, to register as other users.

#include "dispatcher.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

using namespace std::chrono_literals;

// User ids the tests register as; the dispatcher's account table knows them
// and no others.
enum : uid_t { kAlice = 61001, kBob = 61002, kCarol = 61003, kNobodyKnown = 61009 };

class TestHost {
public:
    explicit TestHost(std::chrono::milliseconds deadline = 1000ms, std::size_t maxWaiting = 1024,
                      Dispatcher::AccountOf account = {});
    ~TestHost();
    // Ends the dispatcher and starts a new one on the same port and path.
    void Restart();
    uint16_t Port() const { return m_port; }
    const std::string &SocketPath() const { return m_socket; }

private:
    void Start();
    std::string m_dir, m_socket;
    uint16_t m_port = 0;
    Dispatcher::Config m_config;
    std::unique_ptr<Dispatcher> m_dispatcher;
    std::thread m_thread;
};

// A user's program, as the dispatcher sees it: a registration made by a
// process running as that user.
class TestProgram {
public:
    TestProgram(const TestHost &host, uid_t uid);
    ~TestProgram();
    void Say(const std::string &message) const;
    void Ready() const { Say("READY " + std::to_string(m_received)); }
    // A connection handed over within the time, or -1.
    int Take(std::chrono::milliseconds within = 3s);

private:
    int m_fd = -1;
    uint64_t m_received = 0;
};

// A fax server's connection: connects and sends the bytes given.
int Dial(uint16_t port, const std::string &first = {});
// What the fax server sees within the time: the reply, "reset", "closed" or
// "nothing".
std::string Outcome(int fd, std::chrono::milliseconds within = 3s);
// Hands a connection its program has taken a reply naming the user, and
// closes it.
void Answer(int connection, const std::string &user);
