// The Linux socket holds the same contract as the fake the logic's tests use.
#define DOCTEST_CONFIG_IMPLEMENT
#include "socket_contract.h"
#include "tcp_socket_layer.h"
#include "test_peer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <memory>

namespace {
struct TcpFixture {
    TcpSocketLayer socket{FreePort()};
    RecordedEvents events;
    QTcpServer other;
    TcpFixture() { socket.SetEvents(&events); }

    struct Peer : TestPeer {
        explicit Peer(uint16_t port) : m_port(port) {}
        bool Connect(bool ipv6) { return TestPeer::Connect(m_port, ipv6); }
        uint16_t m_port;
    };
    Socket &Sock() { return socket; }
    std::unique_ptr<Peer> NewPeer() { return std::make_unique<Peer>(socket.LocalPort()); }
    bool PumpUntil(const std::function<bool()> &done)
    {
        const QDeadlineTimer deadline(10000);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
        return done();
    }
    void TakePort() { REQUIRE(other.listen(QHostAddress::Any, socket.LocalPort())); }
};
} // namespace

SOCKET_CONTRACT(TcpFixture, "TCP socket")

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return doctest::Context(argc, argv).run();
}
