// A session host's dispatcher and the program's socket registered with it,
// in this process: real loopback TCP, a real pipe, this user's token.
#include "pump.h"
#include "socket_contract.h"
#include "test_peer.h"
#include "win_dispatcher.h"
#include "winsock_socket.h"

#include <doctest/doctest.h>

#include <set>

namespace {
std::string Me()
{
    wchar_t name[256];
    DWORD length = 256;
    GetUserNameW(name, &length);
    return std::string(name, name + wcslen(name)); // test accounts are ASCII
}

struct DispatchedHost {
    std::wstring pipe = L"\\\\.\\pipe\\corvane-tesk-dispatch-test-" + std::to_wstring(GetCurrentProcessId());
    uint16_t port = 0;
    std::unique_ptr<WinDispatcher> dispatcher;
    std::thread thread;
    RecordedEvents events;
    WinsockSocket socket{FreePort(), &events};

    DispatchedHost() { Start(); }
    void Start()
    {
        const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        bind(listener, reinterpret_cast<sockaddr *>(&address), length);
        listen(listener, SOMAXCONN);
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
        dispatcher = std::make_unique<WinDispatcher>(WinDispatcher::Config{listener, pipe, std::chrono::milliseconds(300)});
        thread = std::thread([this] { dispatcher->Run(); });
        REQUIRE(PumpUntil([&] { return WaitNamedPipeW(pipe.c_str(), 50) != 0; }));
    }
    void Stop()
    {
        dispatcher->Stop();
        thread.join();
        dispatcher.reset();
    }
    ~DispatchedHost()
    {
        if (dispatcher)
            Stop();
    }
    SOCKET Dial(const std::string &first)
    {
        const SOCKET fax = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fax, reinterpret_cast<sockaddr *>(&address), sizeof address);
        // A reset that came before the line was written is taken by the write.
        if (!first.empty() && send(fax, first.data(), int(first.size()), 0) == SOCKET_ERROR)
            resetEarly().insert(fax);
        return fax;
    }
    // What the fax server sees: the reply, "closed", "reset" or "nothing".
    static std::set<SOCKET> &resetEarly()
    {
        static std::set<SOCKET> sockets;
        return sockets;
    }
    static std::string Outcome(SOCKET fax)
    {
        if (resetEarly().erase(fax)) {
            closesocket(fax);
            return "reset";
        }
        DWORD wait = 5000;
        setsockopt(fax, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&wait), sizeof wait);
        char reply[256];
        const int n = recv(fax, reply, sizeof reply, 0);
        const int error = WSAGetLastError();
        // Wine may report a reset as an end of stream; a send of no bytes
        // still fails after a reset, and succeeds after an orderly end.
        const bool reset = n == 0 && send(fax, "", 0, 0) == SOCKET_ERROR;
        closesocket(fax);
        if (n > 0)
            return std::string(reply, size_t(n));
        if (n == 0)
            return reset ? "reset" : "closed";
        return error == WSAETIMEDOUT ? "nothing" : "reset";
    }
    // Dials until the program is asked: registering takes the dispatcher a moment.
    SOCKET DialUntilAsked(const std::string &first, int requests)
    {
        for (int attempt = 0; attempt < 40; ++attempt) {
            const SOCKET fax = Dial(first);
            if (PumpUntil([&] { return events.requests == requests; }, std::chrono::milliseconds(500)))
                return fax;
            closesocket(fax);
        }
        return INVALID_SOCKET;
    }
};
} // namespace

TEST_CASE_FIXTURE(DispatchedHost, "the dispatcher hands this user's requests to this program, one at a time")
{
    REQUIRE(socket.UseDispatcher(pipe));
    CHECK(socket.State() == Socket::Closed);
    socket.Listen();
    CHECK(socket.State() != Socket::Closed);
    const SOCKET fax = DialUntilAsked("USER EXAMPLE\\" + Me() + "\r\n", 1);
    REQUIRE(fax != INVALID_SOCKET);
    socket.Close();
    socket.Accept(events.lastRequest);
    socket.SendData("012\r\n \r\n \r\n \r\n");
    REQUIRE(PumpUntil([&] { return events.completed == 1; }));
    // Busy until the session ends; others' requests are never ours.
    CHECK(Outcome(Dial("USER " + Me() + "\r\n")) == "reset");
    CHECK(Outcome(Dial("USER somebody-else\r\n")) == "reset");
    socket.Close();
    CHECK(Outcome(fax) == "012\r\n \r\n \r\n \r\n");

    // A fax server that says nothing reaches the only user.
    socket.Listen();
    const SOCKET silent = DialUntilAsked("", 2);
    CHECK(silent != INVALID_SOCKET);
    closesocket(silent);
}

TEST_CASE_FIXTURE(DispatchedHost, "what a program says about its user changes nothing")
{
    const HANDLE rogue = CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(rogue != INVALID_HANDLE_VALUE);
    DWORD mode = PIPE_READMODE_MESSAGE, written;
    SetNamedPipeHandleState(rogue, &mode, nullptr, nullptr);
    for (const std::string claim : {"USER somebody-else", "somebody-else", "READY 0"})
        WriteFile(rogue, claim.data(), DWORD(claim.size()), &written, nullptr);
    for (int i = 0; i < 3; ++i)
        CHECK(Outcome(Dial("USER somebody-else\r\n")) == "reset");
    CloseHandle(rogue);
}

TEST_CASE_FIXTURE(DispatchedHost, "a dispatcher that starts again finds the program registered again")
{
    REQUIRE(socket.UseDispatcher(pipe));
    socket.Listen();
    Stop();
    Start(); // a port of its own again, the same pipe
    const SOCKET fax = DialUntilAsked("USER " + Me() + "\r\n", 1);
    CHECK(fax != INVALID_SOCKET);
    closesocket(fax);
}
