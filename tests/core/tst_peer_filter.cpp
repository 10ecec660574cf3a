// Which fax servers may ask.
#include "peer_filter.h"

#include <doctest/doctest.h>

namespace {
PeerAddress Address(const char *text)
{
    const auto address = ParsePeerAddress(text);
    REQUIRE(address.has_value());
    return *address;
}

std::vector<PeerAddress> Resolve(const std::string &host)
{
    if (host == "fax.example")
        return {Address("192.0.2.50"), Address("2001:db8::50")};
    return {};
}
} // namespace

TEST_CASE("addresses are read as IPv4, IPv6, IPv4-mapped and bracketed")
{
    CHECK(Address("192.0.2.7") == Address("::ffff:192.0.2.7"));
    CHECK(Address("[2001:db8::7]") == Address("2001:0db8:0000:0000:0000:0000:0000:0007"));
    CHECK(Address("::") == PeerAddress{});
    CHECK(Address("::1")[15] == 1);
    CHECK(Address("1::")[1] == 1);
    for (const char *bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "01.2.3.4", "1.2.3.4 ", "2001:db8:::1", "1::2::3",
                            "1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7", "12345::", "g::", "::1.2.3", "1:", "fax.example"})
        CHECK_MESSAGE(!ParsePeerAddress(bad).has_value(), bad);
}

TEST_CASE("no list lets every fax server ask")
{
    CHECK(PeerFilter().Allows(Address("203.0.113.9")));
    CHECK(PeerFilter::Parse(" # nobody yet\n", Resolve).Allows(Address("203.0.113.9")));
}

TEST_CASE("a list lets only its hosts and networks ask")
{
    const PeerFilter filter =
        PeerFilter::Parse("192.0.2.10, 198.51.100.0/24 # the office\n2001:db8:1::/48\tfax.example\n", Resolve);
    for (const char *allowed : {"192.0.2.10", "::ffff:192.0.2.10", "198.51.100.0", "198.51.100.255", "2001:db8:1:ffff::1",
                                "192.0.2.50", "2001:db8::50"})
        CHECK_MESSAGE(filter.Allows(Address(allowed)), allowed);
    for (const char *refused : {"192.0.2.11", "198.51.101.1", "2001:db8:2::1", "::1", "127.0.0.1", "2001:db8::51",
                                "::c000:20a" /* 192.0.2.10 as an IPv4-compatible address is another address */})
        CHECK_MESSAGE(!filter.Allows(Address(refused)), refused);
}

TEST_CASE("network lengths: zero takes all of a family, the full length one address")
{
    CHECK(PeerFilter::Parse("0.0.0.0/0", Resolve).Allows(Address("203.0.113.1")));
    CHECK_FALSE(PeerFilter::Parse("0.0.0.0/0", Resolve).Allows(Address("2001:db8::1")));
    CHECK(PeerFilter::Parse("::/0", Resolve).Allows(Address("2001:db8::1")));
    CHECK(PeerFilter::Parse("192.0.2.7/32", Resolve).Allows(Address("192.0.2.7")));
    CHECK_FALSE(PeerFilter::Parse("192.0.2.7/32", Resolve).Allows(Address("192.0.2.6")));
    CHECK(PeerFilter::Parse("192.0.2.7/31", Resolve).Allows(Address("192.0.2.6")));
}

TEST_CASE("a bad entry is named; a host without addresses is an error")
{
    for (const char *bad : {"192.0.2.0/33", "192.0.2.0/", "192.0.2.0/x", "2001:db8::/129", "1.2.3.4.5/8", "2001:::1",
                            "nowhere.example"}) {
        try {
            PeerFilter::Parse(std::string("192.0.2.1 ") + bad, Resolve);
            FAIL("accepted " << bad);
        } catch (const BadPeerList &error) {
            CHECK_MESSAGE(std::string(error.what()).find(std::string(bad).substr(0, 5)) != std::string::npos,
                          error.what());
        }
    }
}
