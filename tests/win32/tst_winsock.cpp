// The Winsock socket beyond the shared contract: one request at a time even
// when two fax servers get in at once, completions of a closed connection
// dropped, and what "sent" waits for where the system can tell.
#include "pump.h"
#include "socket_contract.h"
#include "test_peer.h"
#include "winsock_socket.h"

#include <doctest/doctest.h>

namespace {
struct Fixture {
    RecordedEvents events;
    WinsockSocket socket{FreePort(), &events};
    // Listens, lets one fax server in and takes it, as a session does.
    void Open(TestPeer &peer)
    {
        socket.Listen();
        REQUIRE(peer.Connect(socket.LocalPort()));
        REQUIRE(PumpUntil([&] { return events.requests == 1; }));
        socket.Close();
        socket.Accept(events.lastRequest);
    }
};
} // namespace

TEST_CASE_FIXTURE(Fixture, "two fax servers that got in together: the second is turned away at once")
{
    socket.Listen();
    TestPeer first, second;
    REQUIRE(first.Connect(socket.LocalPort()));
    REQUIRE(second.Connect(socket.LocalPort()));
    // Neither has been handled yet: the system took both.
    REQUIRE(PumpUntil([&] { return events.requests >= 1 && second.Poll(); }));
    CHECK(events.requests == 1);
    CHECK(second.Received().empty());
    socket.Close();
    socket.Accept(events.lastRequest);
    socket.SendData("1\r\n \r\n \r\n \r\n");
    REQUIRE(PumpUntil([&] { return events.completed == 1; }));
    socket.Close();
    REQUIRE(PumpUntil([&] { return first.Poll(); }));
    CHECK(first.Received() == "1\r\n \r\n \r\n \r\n");
}

TEST_CASE_FIXTURE(Fixture, "a fax server not on the list is refused at once with a reset, unseen; a listed one is served")
{
    socket.SetAllowedPeers(PeerFilter::Parse("192.0.2.1 ::1", {}));
    socket.Listen();
    TestPeer stranger;
    REQUIRE(stranger.Connect(socket.LocalPort()));
    REQUIRE(PumpUntil([&] { return stranger.Poll(); }));
    CHECK(stranger.Received().empty());
    CHECK(stranger.WasReset()); // refused, not read as a cancel
    CHECK(events.requests == 0);
    CHECK(socket.State() == Socket::Listening);
    TestPeer listed;
    REQUIRE(listed.Connect(socket.LocalPort(), true));
    CHECK(PumpUntil([&] { return events.requests == 1; }));
}

TEST_CASE_FIXTURE(Fixture, "a reply's completion after its connection was closed is not reported")
{
    TestPeer peer;
    Open(peer);
    socket.SendData("1\r\n \r\n \r\n \r\n");
    socket.Close();
    socket.Listen();
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    CHECK(events.completed == 0);
    CHECK(events.failed == 0);
}

TEST_CASE_FIXTURE(Fixture, "where the system reports acknowledgements, sent means acknowledged, and a lost peer fails")
{
    TestPeer peer;
    Open(peer);
    int asked = 0;
    socket.SetDeliveryProbe([&](SOCKET, unsigned long long bytes) {
        CHECK(bytes == 12);
        return ++asked < 3 ? WinsockSocket::Delivery::Pending : WinsockSocket::Delivery::Acknowledged;
    });
    socket.SendData("1\r\n \r\n \r\n \r\n");
    REQUIRE(PumpUntil([&] { return events.completed == 1; }));
    CHECK(asked == 3);

    TestPeer other;
    socket.Close();
    events = RecordedEvents{};
    Open(other);
    socket.SetDeliveryProbe([](SOCKET, unsigned long long) { return WinsockSocket::Delivery::Lost; });
    socket.SendData("2\r\n \r\n \r\n \r\n");
    REQUIRE(PumpUntil([&] { return events.failed == 1; }));
    CHECK(events.completed == 0);
}

TEST_CASE_FIXTURE(Fixture, "listening takes IPv4 and IPv6 alike")
{
    socket.Listen();
    TestPeer v6;
    REQUIRE(v6.Connect(socket.LocalPort(), true));
    REQUIRE(PumpUntil([&] { return events.requests == 1; }));
    socket.Close();
    socket.Accept(events.lastRequest);
    socket.Close();
    socket.Listen();
    TestPeer v4;
    REQUIRE(v4.Connect(socket.LocalPort(), false));
    CHECK(PumpUntil([&] { return events.requests == 2; }));
}
