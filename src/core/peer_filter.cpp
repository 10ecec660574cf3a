#include "peer_filter.h"

#include <charconv>

namespace {
std::optional<std::array<uint8_t, 4>> ParseIpv4(std::string_view text)
{
    std::array<uint8_t, 4> bytes{};
    for (size_t part = 0; part < 4; ++part) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        const size_t digits = size_t(end - text.data());
        if (error != std::errc() || digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[0] == '0'))
            return std::nullopt;
        bytes[part] = uint8_t(value);
        text.remove_prefix(digits);
        if (part < 3) {
            if (text.empty() || text[0] != '.')
                return std::nullopt;
            text.remove_prefix(1);
        }
    }
    if (!text.empty())
        return std::nullopt;
    return bytes;
}

// RFC 4291 text: eight groups of hex, one "::" for a run of zeros, and an
// IPv4 address in place of the last two groups.
std::optional<PeerAddress> ParseIpv6(std::string_view text)
{
    std::vector<uint16_t> head, tail;
    bool compressed = false;
    if (text.starts_with("::")) {
        compressed = true;
        text.remove_prefix(2);
    }
    while (!text.empty()) {
        std::vector<uint16_t> &groups = compressed ? tail : head;
        const size_t colon = text.find(':');
        const std::string_view group = text.substr(0, colon);
        if (colon == std::string_view::npos && group.find('.') != std::string_view::npos) {
            const auto ipv4 = ParseIpv4(group);
            if (!ipv4)
                return std::nullopt;
            groups.push_back(uint16_t((*ipv4)[0] << 8 | (*ipv4)[1]));
            groups.push_back(uint16_t((*ipv4)[2] << 8 | (*ipv4)[3]));
            text = {};
            break;
        }
        unsigned value = 0;
        const auto [end, error] = std::from_chars(group.data(), group.data() + group.size(), value, 16);
        if (error != std::errc() || end != group.data() + group.size() || group.empty() || group.size() > 4)
            return std::nullopt;
        groups.push_back(uint16_t(value));
        if (colon == std::string_view::npos)
            break;
        text.remove_prefix(colon + 1);
        if (text.starts_with(':')) {
            if (compressed)
                return std::nullopt;
            compressed = true;
            text.remove_prefix(1);
        } else if (text.empty()) {
            return std::nullopt;
        }
    }
    const size_t given = head.size() + tail.size();
    if (given > 8 || (!compressed && given != 8) || (compressed && given == 8))
        return std::nullopt;
    PeerAddress address{};
    for (size_t i = 0; i < head.size(); ++i) {
        address[2 * i] = uint8_t(head[i] >> 8);
        address[2 * i + 1] = uint8_t(head[i]);
    }
    for (size_t i = 0; i < tail.size(); ++i) {
        const size_t at = 8 - tail.size() + i;
        address[2 * at] = uint8_t(tail[i] >> 8);
        address[2 * at + 1] = uint8_t(tail[i]);
    }
    return address;
}

bool InNetwork(const PeerAddress &peer, const PeerAddress &network, int prefixBits)
{
    for (int bit = 0; bit < prefixBits; ++bit) {
        const uint8_t mask = uint8_t(0x80 >> (bit % 8));
        if ((peer[size_t(bit / 8)] & mask) != (network[size_t(bit / 8)] & mask))
            return false;
    }
    return true;
}

bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n';
}
} // namespace

PeerAddress MappedIpv4(const std::array<uint8_t, 4> &ipv4)
{
    PeerAddress address{};
    address[10] = 0xFF;
    address[11] = 0xFF;
    for (size_t i = 0; i < 4; ++i)
        address[12 + i] = ipv4[i];
    return address;
}

std::optional<PeerAddress> ParsePeerAddress(std::string_view text)
{
    if (const auto ipv4 = ParseIpv4(text))
        return MappedIpv4(*ipv4);
    if (text.size() > 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    return ParseIpv6(text);
}

PeerFilter PeerFilter::Parse(std::string_view list, const Resolver &resolve)
{
    PeerFilter filter;
    size_t at = 0;
    while (at < list.size()) {
        if (IsSeparator(list[at])) {
            ++at;
            continue;
        }
        if (list[at] == '#') {
            at = list.find('\n', at);
            if (at == std::string_view::npos)
                break;
            continue;
        }
        size_t end = at;
        while (end < list.size() && !IsSeparator(list[end]) && list[end] != '#')
            ++end;
        const std::string_view entry = list.substr(at, end - at);
        at = end;

        const size_t slash = entry.find('/');
        const std::string_view host = entry.substr(0, slash);
        if (const auto address = ParsePeerAddress(host)) {
            const bool ipv4 = ParseIpv4(host).has_value();
            int prefix = ipv4 ? 32 : 128;
            if (slash != std::string_view::npos) {
                const std::string_view bits = entry.substr(slash + 1);
                const auto [end, error] = std::from_chars(bits.data(), bits.data() + bits.size(), prefix);
                if (error != std::errc() || end != bits.data() + bits.size() || bits.empty() || prefix < 0
                    || prefix > (ipv4 ? 32 : 128))
                    throw BadPeerList("\"" + std::string(entry) + "\" has no valid network length");
            }
            filter.m_networks.push_back({*address, ipv4 ? prefix + 96 : prefix});
            continue;
        }
        if (slash != std::string_view::npos || host.find(':') != std::string_view::npos)
            throw BadPeerList("\"" + std::string(entry) + "\" is neither an address nor a network");
        const std::vector<PeerAddress> addresses = resolve(std::string(host));
        if (addresses.empty())
            throw BadPeerList("the host \"" + std::string(host) + "\" has no address");
        for (const PeerAddress &address : addresses)
            filter.m_networks.push_back({address, 128});
    }
    filter.m_everyone = filter.m_networks.empty();
    return filter;
}

bool PeerFilter::Allows(const PeerAddress &peer) const
{
    if (m_everyone)
        return true;
    for (const Network &network : m_networks) {
        if (InNetwork(peer, network.address, network.prefixBits))
            return true;
    }
    return false;
}
