// A shared host's registration pipe under the system: who its client is,
// that nobody takes its name first, and a connection handed over through it.
#include "dispatch_pipe.h"

#include <doctest/doctest.h>

#include <string>

namespace {
// Wine lets a second "first instance" of a pipe be made; Windows does not.
bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

struct PipeEnds {
    std::wstring name;
    HANDLE server = INVALID_HANDLE_VALUE;
    HANDLE client = INVALID_HANDLE_VALUE;

    PipeEnds()
    {
        static int made = 0;
        name = L"\\\\.\\pipe\\corvane-tesk-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++made);
        server = CreateRegistrationPipe(name, true);
        REQUIRE(server != INVALID_HANDLE_VALUE);
        OVERLAPPED connected{};
        connected.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ConnectNamedPipe(server, &connected);
        client = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(client != INVALID_HANDLE_VALUE);
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(client, &mode, nullptr, nullptr);
        DWORD ignored;
        GetOverlappedResult(server, &connected, &ignored, TRUE);
        CloseHandle(connected.hEvent);
    }
    ~PipeEnds()
    {
        CloseHandle(client);
        CloseHandle(server);
    }
    std::string ServerReads()
    {
        char bytes[4096];
        DWORD got = 0;
        OVERLAPPED read{};
        read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!ReadFile(server, bytes, sizeof bytes, &got, &read) && GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(server, &read, &got, TRUE);
        CloseHandle(read.hEvent);
        return std::string(bytes, got);
    }
    std::string ClientReads()
    {
        char bytes[4096];
        DWORD got = 0;
        ReadFile(client, bytes, sizeof bytes, &got, nullptr);
        return std::string(bytes, got);
    }
    void ClientWrites(const std::string &message)
    {
        DWORD written;
        WriteFile(client, message.data(), DWORD(message.size()), &written, nullptr);
    }
};
} // namespace

TEST_CASE_FIXTURE(PipeEnds, "the pipe's client is who the system says, and nobody takes the pipe's name first")
{
    if (UnderWine())
        MESSAGE("Wine does not keep a pipe's name to its first instance; not checked");
    else
        CHECK(CreateRegistrationPipe(name, true) == INVALID_HANDLE_VALUE);
    ClientWrites("READY 0");
    CHECK(ServerReads() == "READY 0");
    const auto who = IdentifyPipeClient(server);
    REQUIRE(who.has_value());
    wchar_t me[256];
    DWORD length = 256;
    REQUIRE(GetUserNameW(me, &length));
    CHECK(_wcsicmp(who->user.c_str(), me) == 0);
    CHECK(who->process == GetCurrentProcessId());
}

TEST_CASE_FIXTURE(PipeEnds, "a connection handed over through the pipe is the fax server's own")
{
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    REQUIRE(bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0);
    REQUIRE(listen(listener, 1) == 0);
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    const SOCKET fax = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    REQUIRE(connect(fax, reinterpret_cast<sockaddr *>(&address), length) == 0);
    const SOCKET accepted = accept(listener, nullptr, nullptr);
    REQUIRE(accepted != INVALID_SOCKET);

    REQUIRE(HandOverConnection(accepted, GetCurrentProcessId(), server));
    closesocket(accepted);
    const SOCKET taken = TakeHandedOverConnection(ClientReads());
    REQUIRE(taken != INVALID_SOCKET);
    CHECK(send(taken, "0301234567\r\n", 12, 0) == 12);
    shutdown(taken, SD_SEND);
    closesocket(taken);
    char reply[64];
    const int got = recv(fax, reply, sizeof reply, 0);
    CHECK(std::string(reply, got > 0 ? size_t(got) : 0) == "0301234567\r\n");
    closesocket(fax);
    closesocket(listener);

    for (const std::string bogus : {std::string(), std::string("CONNECTION"), std::string("CONNECTION") + "short",
                                    std::string(10 + sizeof(WSAPROTOCOL_INFOW), 'x')})
        CHECK(TakeHandedOverConnection(bogus) == INVALID_SOCKET);
}
