#pragma once

// Which fax servers may ask: an opt-in list of hosts and networks. A
// connection from anywhere else is closed before the program shows anything.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// An IPv6 address, or an IPv4 one in its IPv4-mapped form (::ffff:a.b.c.d),
// so that a dual-stack listener's peers compare alike.
using PeerAddress = std::array<uint8_t, 16>;

PeerAddress MappedIpv4(const std::array<uint8_t, 4> &ipv4);
// Text such as "192.0.2.7", "2001:db8::7" or "::ffff:192.0.2.7".
std::optional<PeerAddress> ParsePeerAddress(std::string_view text);

struct BadPeerList : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

class PeerFilter {
public:
    // Every peer may ask: no list was given.
    PeerFilter() = default;

    // Entries are separated by blanks, commas or line ends; "#" starts a
    // comment to the end of its line. An entry is an address, a network in
    // CIDR form ("192.0.2.0/24", "2001:db8::/32") or a host name, which
    // resolve turns into its addresses. Throws BadPeerList naming the entry
    // that is neither, or a host without addresses. A list without entries,
    // such as one whose lines are all commented out, restricts nothing.
    using Resolver = std::function<std::vector<PeerAddress>(const std::string &host)>;
    static PeerFilter Parse(std::string_view list, const Resolver &resolve);

    bool Allows(const PeerAddress &peer) const;

private:
    struct Network {
        PeerAddress address;
        int prefixBits;
    };
    bool m_everyone = true;
    std::vector<Network> m_networks;
};
