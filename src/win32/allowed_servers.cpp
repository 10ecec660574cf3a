#include "allowed_servers.h"

#include "text.h"

#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
std::vector<PeerAddress> Resolve(const std::string &host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    std::vector<PeerAddress> addresses;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo *entry = found; entry; entry = entry->ai_next) {
        sockaddr_storage address{};
        std::memcpy(&address, entry->ai_addr, std::min(sizeof address, size_t(entry->ai_addrlen)));
        if (entry->ai_family == AF_INET || entry->ai_family == AF_INET6)
            addresses.push_back(PeerAddressOf(address));
    }
    freeaddrinfo(found);
    return addresses;
}

std::optional<std::wstring> Variable(const wchar_t *name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

std::string Utf8(const std::wstring &text)
{
    return ToUtf8(TextView(reinterpret_cast<const char16_t *>(text.data()), text.size()));
}
} // namespace

PeerAddress PeerAddressOf(const sockaddr_storage &peer)
{
    if (peer.ss_family == AF_INET) {
        std::array<uint8_t, 4> ipv4;
        std::memcpy(ipv4.data(), &reinterpret_cast<const sockaddr_in &>(peer).sin_addr, 4);
        return MappedIpv4(ipv4);
    }
    PeerAddress address{};
    if (peer.ss_family == AF_INET6)
        std::memcpy(address.data(), &reinterpret_cast<const sockaddr_in6 &>(peer).sin6_addr, 16);
    return address;
}

PeerFilter AllowedFaxServers()
{
    if (const auto list = Variable(L"CORVANE_TESK_FAX_SERVERS"))
        return PeerFilter::Parse(Utf8(*list), Resolve);
    const auto appData = Variable(L"APPDATA");
    if (!appData)
        return {};
    const std::wstring path = *appData + L"\\Corvane Tesk\\fax-servers";
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file)
        return {};
    std::stringstream contents;
    contents << file.rdbuf();
    try {
        return PeerFilter::Parse(contents.str(), Resolve);
    } catch (const BadPeerList &error) {
        throw BadPeerList(Utf8(path) + ": " + error.what());
    }
}
