// The program's socket on a shared host: registered with a dispatcher, it
// never listens on the port, and the connections handed over run the same
// session as those it would have accepted.
#define DOCTEST_CONFIG_IMPLEMENT
#include "dispatcher_fixture.h"
#include "socket_contract.h"
#include "tcp_socket_layer.h"
#include "test_peer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <unistd.h>

namespace {
struct LinkedSocket {
    // The test's own user is the one user of this host.
    TestHost host{200ms, 64, [](uid_t uid) { return uid == ::getuid() ? std::optional<std::string>("tester") : std::nullopt; }};
    uint16_t port = FreePort();
    TcpSocketLayer socket{port};
    RecordedEvents events;
    LinkedSocket()
    {
        socket.SetEvents(&events);
        socket.UseDispatcher(std::make_unique<DispatcherLink>(host.SocketPath()));
    }
    bool PumpUntil(const std::function<bool()> &done, int ms = 10000)
    {
        const QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
        return done();
    }
    bool PortFree()
    {
        QTcpServer probe;
        return probe.listen(QHostAddress::Any, port);
    }
};
} // namespace

TEST_CASE_FIXTURE(LinkedSocket, "a handed-over request runs a whole session; the port itself is never listened on")
{
    CHECK(socket.State() == Socket::Closed);
    socket.Listen();
    CHECK(socket.State() != Socket::Closed);
    CHECK(PortFree());
    const int fax = Dial(host.Port(), "USER Tester\r\n");
    REQUIRE(PumpUntil([&] { return events.requests == 1; }));
    socket.Close();
    CHECK(socket.State() == Socket::Closed);
    socket.Accept(events.lastRequest);
    socket.SendData("012\r\n \r\n \r\n \r\n");
    REQUIRE(PumpUntil([&] { return events.completed == 1; }));
    // The program is busy until the session ends: another request is refused.
    CHECK(Outcome(Dial(host.Port(), "USER tester\r\n"), 2s) == "reset");
    CHECK(Outcome(Dial(host.Port()), 2s) == "reset");
    socket.Close();
    CHECK(Outcome(fax) == "012\r\n \r\n \r\n \r\n");
    socket.Listen();
    CHECK(PortFree());
    const int next = Dial(host.Port());
    CHECK(PumpUntil([&] { return events.requests == 2; }));
    ::close(next);
    CHECK(events.errors == 0);
}

TEST_CASE_FIXTURE(LinkedSocket, "a dispatcher that starts again finds the program registered again")
{
    socket.Listen();
    host.Restart();
    const QDeadlineTimer deadline(10000);
    while (events.requests == 0 && !deadline.hasExpired()) {
        const int fax = Dial(host.Port(), "USER tester\r\n");
        if (!PumpUntil([&] { return events.requests == 1; }, 300))
            CHECK(Outcome(fax, 2s) == "reset");
        else
            ::close(fax);
    }
    CHECK(events.requests == 1);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return doctest::Context(argc, argv).run();
}
