#pragma once

// A fax server on loopback, for the socket contract: plain BSD sockets, so
// that it runs beside the Linux and the Windows socket alike. Never blocks
// but in Connect, which loopback answers at once.
#include <cstdint>
#include <string>

class TestPeer {
public:
    TestPeer();
    ~TestPeer();
    TestPeer(const TestPeer &) = delete;
    TestPeer &operator=(const TestPeer &) = delete;

    // False when the system refused the connection.
    bool Connect(uint16_t port, bool ipv6 = false);
    // Reads what has arrived; true once the program has closed its end.
    bool Poll();
    const std::string &Received() const { return m_received; }
    bool Ended() const { return m_ended; }
    // True when the connection was reset rather than closed in order.
    bool WasReset() const { return m_reset; }
    void Send(const std::string &bytes);
    // Shuts down the sending side only: the peer still waits for its answer.
    void ShutdownWrite();
    // Closes with a reset instead of an orderly end.
    void Reset();

private:
    intptr_t m_socket;
    std::string m_received;
    bool m_ended = false;
    bool m_reset = false;
};

// A port that nothing listens on now.
uint16_t FreePort();
