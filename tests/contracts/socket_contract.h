#pragma once

// What every socket must do, run against each of them, the fake included.
// A fixture type F offers:
//   Socket &Sock();                 the socket under test, on a port of its own
//   RecordedEvents events;          what the socket raised
//   std::unique_ptr<P> NewPeer();   a fax server P with Connect(bool ipv6),
//                                   Poll(), Received(), Ended(), WasReset(),
//                                   Send(bytes), ShutdownWrite(), Reset()
//   bool PumpUntil(std::function<bool()> done);
//                                   runs the socket's events until done() or
//                                   a deadline; returns done()
//   void TakePort();                another program listens on the socket's
//                                   port from now on
// Instantiate with SOCKET_CONTRACT(F, "name").
#include "platform.h"

#include <doctest/doctest.h>

#include <functional>
#include <string>

struct RecordedEvents final : SocketEvents {
    void wsk_connect_ConnectionRequest(int32_t id) override
    {
        ++requests;
        lastRequest = id;
    }
    void wsk_connect_SendComplete() override { ++completed; }
    void wsk_connect_SendFailed() override { ++failed; }
    void wsk_connect_Error() override { ++errors; }
    int requests = 0;
    int32_t lastRequest = 0;
    int completed = 0;
    int failed = 0;
    int errors = 0;
};

namespace contract {
// Listens, lets the fax server in and takes its connection, as a session does.
template <typename Fixture, typename Peer>
void TakeRequest(Fixture &fixture, Peer &peer)
{
    fixture.Sock().Listen();
    REQUIRE(peer.Connect(false));
    REQUIRE(fixture.PumpUntil([&] { return fixture.events.requests == 1; }));
    fixture.Sock().Close();
    fixture.Sock().Accept(fixture.events.lastRequest);
}
} // namespace contract

#define SOCKET_CONTRACT(Fixture, name)                                                                                \
    TEST_CASE_FIXTURE(Fixture, name ": a request, taken after the listener closed, gets its reply and then the end")  \
    {                                                                                                                 \
        Socket &socket = this->Sock();                                                                                \
        CHECK(socket.State() == Socket::Closed);                                                                      \
        socket.Listen();                                                                                              \
        CHECK(socket.State() != Socket::Closed);                                                                      \
        auto peer = this->NewPeer();                                                                                  \
        REQUIRE(peer->Connect(false));                                                                                \
        REQUIRE(this->PumpUntil([&] { return this->events.requests == 1; }));                                         \
        socket.Close();                                                                                               \
        CHECK(socket.State() == Socket::Closed);                                                                      \
        socket.Accept(this->events.lastRequest);                                                                      \
        CHECK(socket.State() != Socket::Closed);                                                                      \
        socket.SendData("012\r\n \r\nM\xc3\xbcller\r\n \r\n");                                                        \
        REQUIRE(this->PumpUntil([&] { return this->events.completed == 1; }));                                        \
        socket.Close();                                                                                               \
        CHECK(socket.State() == Socket::Closed);                                                                      \
        REQUIRE(this->PumpUntil([&] { return peer->Poll(); }));                                                       \
        CHECK(peer->Received() == "012\r\n \r\nM\xc3\xbcller\r\n \r\n");                                              \
        CHECK_FALSE(peer->WasReset());                                                                                \
        CHECK(this->events.requests == 1);                                                                            \
        CHECK(this->events.failed == 0);                                                                              \
        CHECK(this->events.errors == 0);                                                                              \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": while a request is open nothing listens; afterwards the port listens again")   \
    {                                                                                                                 \
        Socket &socket = this->Sock();                                                                                \
        auto first = this->NewPeer();                                                                                 \
        contract::TakeRequest(*this, *first);                                                                         \
        auto second = this->NewPeer();                                                                                \
        CHECK_FALSE(second->Connect(false));                                                                          \
        socket.Close();                                                                                               \
        REQUIRE(this->PumpUntil([&] { return first->Poll(); }));                                                      \
        CHECK(first->Received().empty());                                                                             \
        socket.Listen();                                                                                              \
        auto third = this->NewPeer();                                                                                 \
        REQUIRE(third->Connect(true));                                                                                \
        CHECK(this->PumpUntil([&] { return this->events.requests == 2; }));                                           \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": a fax server that shuts down its sending side, or sends, still gets its reply") \
    {                                                                                                                 \
        Socket &socket = this->Sock();                                                                                \
        auto peer = this->NewPeer();                                                                                  \
        contract::TakeRequest(*this, *peer);                                                                          \
        peer->Send("hello, desktop\r\n");                                                                             \
        peer->ShutdownWrite();                                                                                        \
        socket.SendData("1\r\n \r\n \r\n \r\n");                                                                      \
        REQUIRE(this->PumpUntil([&] { return this->events.completed == 1; }));                                        \
        socket.Close();                                                                                               \
        REQUIRE(this->PumpUntil([&] { return peer->Poll(); }));                                                       \
        CHECK(peer->Received() == "1\r\n \r\n \r\n \r\n");                                                            \
        CHECK_FALSE(peer->WasReset());                                                                                \
        CHECK(this->events.errors == 0);                                                                              \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": a fax server that resets is reported at once; a reply to it fails")            \
    {                                                                                                                 \
        Socket &socket = this->Sock();                                                                                \
        auto peer = this->NewPeer();                                                                                  \
        contract::TakeRequest(*this, *peer);                                                                          \
        peer->Reset();                                                                                                \
        REQUIRE(this->PumpUntil([&] { return this->events.errors == 1; }));                                           \
        socket.SendData("1\r\n \r\n \r\n \r\n");                                                                      \
        CHECK(this->PumpUntil([&] { return this->events.failed == 1; }));                                             \
        CHECK(this->events.completed == 0);                                                                           \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": accepting a request that is not waiting fails")                                \
    {                                                                                                                 \
        Socket &socket = this->Sock();                                                                                \
        socket.Listen();                                                                                              \
        socket.Close();                                                                                               \
        CHECK_THROWS_AS(socket.Accept(12345), SocketError);                                                           \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": a port taken by another program cannot be listened on, and says which")        \
    {                                                                                                                 \
        this->TakePort();                                                                                             \
        Socket &socket = this->Sock();                                                                                \
        const uint16_t port = socket.LocalPort();                                                                     \
        CHECK_THROWS_AS(socket.Listen(), SocketError);                                                                \
        CHECK(socket.State() == Socket::Closed);                                                                      \
        CHECK(socket.LocalPort() == port);                                                                            \
    }
