#pragma once
// Stand-ins for the desktop program: a TCP listener on loopback that serves
// one connection in a thread of its own, as a test scripts it.

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace peer {

enum class Family { V4, V6 };

class Peer {
public:
    // SERVE gets the accepted connection; it is closed when SERVE returns.
    // It listens on loopback, or on the numeric address AT (a link-local
    // IPv6 one with its zone after "%") and PORT.
    Peer(std::function<void(int fd)> serve, Family family = Family::V4, const std::string &at = {}, int port = 0);
    ~Peer();
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;
    int port() const { return m_port; }
    bool listening() const { return m_listener >= 0; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

// Behaviours a test hands to Peer.
void WriteAll(int fd, std::string_view data);
// Waits until the client closes its end (or 30 s pass).
void WaitForClientClose(int fd);
// What the client sent until it closed its end (or 30 s passed).
std::string ReadUntilClose(int fd);
// Writes without end until the client stops reading; the bytes written.
std::size_t Flood(int fd);

// A loopback port on which nothing listens.
int ClosedPort();

} // namespace peer
