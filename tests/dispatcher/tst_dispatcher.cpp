// The dispatcher's loop: real sockets, real peer credentials, user ids of
// its own; the account table is the test's.
#include "dispatcher_fixture.h"

#include <doctest/doctest.h>

#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}
} // namespace

TEST_CASE("each request reaches its own user's program, and only that")
{
    TestHost host;
    TestProgram alice(host, kAlice), bob(host, kBob);
    alice.Ready();
    bob.Ready();
    struct Case {
        const char *line;
        TestProgram *to; // nullptr: refused
    } cases[] = {
        {"USER alice\r\n", &alice},
        {"USER bob\r\n", &bob},
        {"USER EXAMPLE\\ALICE\r\n", &alice},
        {"USER Bob@EXAMPLE.ORG\r\n", &bob},
        {"USER carol\r\n", nullptr},    // registered nowhere
        {"USER mallory\r\n", nullptr},  // no such account
        {"USER alice bob\r\n", nullptr},
        {"USER *\r\n", nullptr},
        {"USER alice\n", nullptr},
        {"GET / HTTP/1.0\r\n", nullptr},
    };
    for (const Case &c : cases) {
        CAPTURE(c.line);
        const int fax = Dial(host.Port(), c.line);
        if (c.to) {
            const int taken = c.to->Take();
            REQUIRE(taken >= 0);
            Answer(taken, c.to == &alice ? "alice" : "bob");
            CHECK(Outcome(fax) == (c.to == &alice ? "for alice" : "for bob"));
            c.to->Ready();
        } else {
            CHECK(Outcome(fax) == "reset");
        }
    }
    // Nothing was handed to the wrong one on the way.
    CHECK(alice.Take(0ms) < 0);
    CHECK(bob.Take(0ms) < 0);
}

TEST_CASE("a busy program is refused until it says it is free after its last request")
{
    TestHost host;
    TestProgram alice(host, kAlice);
    alice.Ready();
    const int first = Dial(host.Port(), "USER alice\r\n");
    const int taken = alice.Take();
    REQUIRE(taken >= 0);
    CHECK(Outcome(Dial(host.Port(), "USER alice\r\n")) == "reset");
    alice.Say("READY 0"); // written before the hand-over: stale
    CHECK(Outcome(Dial(host.Port(), "USER alice\r\n")) == "reset");
    Answer(taken, "alice");
    CHECK(Outcome(first) == "for alice");
    alice.Ready();
    const int next = Dial(host.Port(), "USER alice\r\n");
    const int again = alice.Take();
    REQUIRE(again >= 0);
    Answer(again, "alice");
    CHECK(Outcome(next) == "for alice");
    alice.Say("BUSY");
    CHECK(Outcome(Dial(host.Port(), "USER alice\r\n")) == "reset");
}

TEST_CASE("a fax server that says nothing reaches the only user, never one of two")
{
    TestHost host(300ms);
    TestProgram alice(host, kAlice), aliceElsewhere(host, kAlice);
    alice.Ready();
    aliceElsewhere.Say("BUSY");
    const int silent = Dial(host.Port());
    const int taken = alice.Take();
    REQUIRE(taken >= 0);
    Answer(taken, "alice");
    CHECK(Outcome(silent) == "for alice");
    alice.Ready();
    // A line begun and not finished within the time is not silence.
    CHECK(Outcome(Dial(host.Port(), "USER ali")) == "reset");
    {
        TestProgram bob(host, kBob);
        bob.Ready();
        CHECK(Outcome(Dial(host.Port())) == "reset");
    }
    // Bob's program has gone: alice is the only user again.
    const int again = Dial(host.Port());
    const int taken2 = alice.Take();
    REQUIRE(taken2 >= 0);
    ::close(taken2);
    CHECK(Outcome(again) == "closed");
}

TEST_CASE("what a program says about itself changes nothing")
{
    TestHost host;
    TestProgram carol(host, kCarol), stranger(host, kNobodyKnown);
    for (const char *claim : {"USER alice", "alice", "REGISTER alice", "READY 0 alice"})
        carol.Say(claim);
    carol.Ready();
    stranger.Ready(); // an id without an account is not registered at all
    CHECK(Outcome(Dial(host.Port(), "USER alice\r\n")) == "reset");
    CHECK(carol.Take(0ms) < 0);
    const int fax = Dial(host.Port(), "USER carol\r\n");
    const int taken = carol.Take();
    REQUIRE(taken >= 0);
    Answer(taken, "carol");
    CHECK(Outcome(fax) == "for carol");
}

TEST_CASE("a storm of silent connections and a slow line delay nobody by a second")
{
    TestHost host(1000ms);
    TestProgram alice(host, kAlice), bob(host, kBob);
    alice.Ready();
    bob.Ready();
    std::vector<int> storm;
    for (int i = 0; i < 300; ++i)
        storm.push_back(Dial(host.Port()));
    const int slow = Dial(host.Port(), "USER b");
    const int flood = Dial(host.Port(), std::string(64 * 1024, 'x'));
    CHECK(Outcome(flood, 900ms) == "reset"); // too long: refused at once
    const auto start = std::chrono::steady_clock::now();
    const int fax = Dial(host.Port(), "USER alice\r\n");
    const int taken = alice.Take(1s);
    CHECK(Since(start) < 1s);
    REQUIRE(taken >= 0);
    Answer(taken, "alice");
    CHECK(Outcome(fax) == "for alice");
    // The slow line, finished in time, still goes where it says.
    ::send(slow, "ob\r\n", 4, MSG_NOSIGNAL);
    const int slowTaken = bob.Take(1s);
    REQUIRE(slowTaken >= 0);
    Answer(slowTaken, "bob");
    CHECK(Outcome(slow) == "for bob");
    // Two users registered: the silent ones are refused at their deadline.
    for (int fd : storm)
        CHECK(Outcome(fd) == "reset");
}

TEST_CASE("connections beyond the bound are refused, and a line that can never end frees its place")
{
    TestHost host(10s, 8);
    TestProgram alice(host, kAlice);
    alice.Ready();
    std::vector<int> held;
    for (int i = 0; i < 8; ++i)
        held.push_back(Dial(host.Port(), "U"));
    CHECK(Outcome(Dial(host.Port(), "USER alice\r\n")) == "reset");
    for (int fd : held) {
        ::shutdown(fd, SHUT_WR);
        CHECK(Outcome(fd) == "reset");
    }
    const int fax = Dial(host.Port(), "USER alice\r\n");
    const int taken = alice.Take();
    REQUIRE(taken >= 0);
    ::close(taken);
    CHECK(Outcome(fax) == "closed");
}
