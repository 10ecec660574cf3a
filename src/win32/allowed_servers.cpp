#include "allowed_servers.h"

#include "host_addresses.h"
#include "text.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
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

PeerFilter AllowedFaxServers()
{
    if (const auto list = Variable(L"CORVANE_TESK_FAX_SERVERS"))
        return PeerFilter::Parse(Utf8(*list), ResolveHost);
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
        return PeerFilter::Parse(contents.str(), ResolveHost);
    } catch (const BadPeerList &error) {
        throw BadPeerList(Utf8(path) + ": " + error.what());
    }
}
