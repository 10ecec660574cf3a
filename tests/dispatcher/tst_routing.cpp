// The first line a fax server sends, and whose program a request goes to.
#include "routing.h"

#include <doctest/doctest.h>

using routing::FirstLine;

TEST_CASE("the first line names a user, with or without domain or realm, or is refused")
{
    const std::string longest = "USER " + std::string(routing::kMaxLine - 7, 'a') + "\r\n";
    const std::string tooLong = "USER " + std::string(routing::kMaxLine - 6, 'a') + "\r\n";
    struct Case {
        std::string received;
        FirstLine::Kind kind;
        std::string user;
    } cases[] = {
        {"USER alice\r\n", FirstLine::Named, "alice"},
        {"USER EXAMPLE\\alice\r\n", FirstLine::Named, "alice"},
        {"USER alice@EXAMPLE.ORG\r\n", FirstLine::Named, "alice"},
        {"USER Alice.Smith\r\nand what follows", FirstLine::Named, "Alice.Smith"},
        {"USER Zo\xc3\xab\r\n", FirstLine::Named, "Zo\xc3\xab"},
        {longest, FirstLine::Named, std::string(routing::kMaxLine - 7, 'a')},
        {"", FirstLine::Incomplete, ""},
        {"USER ali", FirstLine::Incomplete, ""},
        {"USER alice\r", FirstLine::Incomplete, ""},
        {tooLong, FirstLine::Refused, ""},
        {std::string(routing::kMaxLine, 'U'), FirstLine::Refused, ""},
        {"USER alice\n", FirstLine::Refused, ""},
        {"user alice\r\n", FirstLine::Refused, ""},
        {"USER  alice\r\n", FirstLine::Refused, ""},
        {"USER alice \r\n", FirstLine::Refused, ""},
        {"USER \r\n", FirstLine::Refused, ""},
        {"USER EXAMPLE\\\r\n", FirstLine::Refused, ""},
        {"USER @EXAMPLE.ORG\r\n", FirstLine::Refused, ""},
        {"USER al\tice\r\n", FirstLine::Refused, ""},
        {std::string("USER al\0ice\r\n", 13), FirstLine::Refused, ""},
        {"USER al\x7fice\r\n", FirstLine::Refused, ""},
        {"USER alice\rbob\r\n", FirstLine::Refused, ""},
        {"USER \xc0\xafroot\r\n", FirstLine::Refused, ""},
        {"USER \xed\xa0\x80\r\n", FirstLine::Refused, ""},
        {"USER \xe2\x82\r\n", FirstLine::Refused, ""},
        {"\r\n", FirstLine::Refused, ""},
        {"GET / HTTP/1.0\r\n", FirstLine::Refused, ""},
    };
    for (const Case &c : cases) {
        CAPTURE(c.received);
        const FirstLine line = routing::ReadFirstLine(c.received);
        CHECK(line.kind == c.kind);
        CHECK(line.user == c.user);
        if (line.kind == FirstLine::Named)
            CHECK(line.length == c.received.find('\n') + 1);
    }
}

TEST_CASE("names match without regard to case, and only whole")
{
    CHECK(routing::SameUser("ALICE", "alice"));
    CHECK(routing::SameUser("aLiCe", "Alice"));
    CHECK_FALSE(routing::SameUser("alic", "alice"));
    CHECK_FALSE(routing::SameUser("alice2", "alice"));
    CHECK_FALSE(routing::SameUser("", "alice"));
    CHECK_FALSE(routing::SameUser("zo\xc3\xab", "zo\xc3\x8b")); // no folding beyond ASCII
}

TEST_CASE("a request goes to its user's free program, or with silence to the only user")
{
    using routing::Request;
    const Request alice{Request::Named, "ALICE"}, bob{Request::Named, "bob"}, silent{};
    const routing::Program aliceFree{"alice", true}, aliceBusy{"alice", false}, bobFree{"bob", true};
    struct Case {
        const char *what;
        Request request;
        std::vector<routing::Program> programs;
        std::optional<std::size_t> chosen;
    } cases[] = {
        {"named, free", alice, {bobFree, aliceFree}, 1},
        {"named, busy", alice, {aliceBusy, bobFree}, std::nullopt},
        {"named, second program free", alice, {aliceBusy, aliceFree}, 1},
        {"named, nobody", bob, {aliceFree}, std::nullopt},
        {"named, none registered", alice, {}, std::nullopt},
        {"silent, one user", silent, {aliceFree}, 0},
        {"silent, one user twice", silent, {aliceBusy, aliceFree}, 1},
        {"silent, one user busy", silent, {aliceBusy}, std::nullopt},
        {"silent, two users", silent, {aliceFree, bobFree}, std::nullopt},
        {"silent, two users, one busy", silent, {aliceBusy, bobFree}, std::nullopt},
        {"silent, nobody", silent, {}, std::nullopt},
    };
    for (const Case &c : cases) {
        CAPTURE(c.what);
        CHECK(routing::Choose(c.request, c.programs) == c.chosen);
    }
}
