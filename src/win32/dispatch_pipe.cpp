#include "dispatch_pipe.h"

#include <sddl.h>

#include <cstring>
#include <vector>

namespace {
constexpr char kConnection[] = "CONNECTION";
constexpr size_t kConnectionLength = sizeof kConnection - 1;
// The system and administrators in full; signed-in users may read and write.
constexpr wchar_t kPipeAccess[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;AU)";

// Writes one message on an overlapped handle and waits for it.
bool WriteMessage(HANDLE pipe, const void *bytes, DWORD length)
{
    OVERLAPPED written{};
    written.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD count = 0;
    bool done = WriteFile(pipe, bytes, length, &count, &written) ||
                (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(pipe, &written, &count, TRUE));
    CloseHandle(written.hEvent);
    return done && count == length;
}
} // namespace

HANDLE CreateRegistrationPipe(const std::wstring &name, bool first)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeAccess, SDDL_REVISION_1, &descriptor, nullptr))
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const HANDLE pipe = CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, PIPE_UNLIMITED_INSTANCES,
        4096, 4096, 0, &attributes);
    LocalFree(descriptor);
    return pipe;
}

std::optional<PipeClient> IdentifyPipeClient(HANDLE pipe)
{
    PipeClient client;
    if (!GetNamedPipeClientProcessId(pipe, &client.process) || !ImpersonateNamedPipeClient(pipe))
        return std::nullopt;
    HANDLE token = nullptr;
    const bool opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    RevertToSelf();
    if (!opened)
        return std::nullopt;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size ? size : 1);
    const bool read = GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!read)
        return std::nullopt;
    const PSID sid = reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid;
    wchar_t name[256], domain[256];
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use))
        return std::nullopt;
    client.user = name;
    client.domain = domain;
    return client;
}

bool HandOverConnection(SOCKET connection, DWORD process, HANDLE pipe)
{
    WSAPROTOCOL_INFOW info{};
    if (WSADuplicateSocketW(connection, process, &info) != 0)
        return false;
    std::string message(kConnection, kConnectionLength);
    message.append(reinterpret_cast<const char *>(&info), sizeof info);
    return WriteMessage(pipe, message.data(), DWORD(message.size()));
}

SOCKET TakeHandedOverConnection(const std::string &message)
{
    WSAPROTOCOL_INFOW info{};
    if (message.size() != kConnectionLength + sizeof info || message.compare(0, kConnectionLength, kConnection) != 0)
        return INVALID_SOCKET;
    std::memcpy(&info, message.data() + kConnectionLength, sizeof info);
    return WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, 0);
}
