// corvane-tesk-dispatcher.exe: the Windows service that owns the fax
// servers' port on a session host and hands each request to the program of
// the user it is for. The setup installs it; run from a console (tests, or
// by hand) it serves until Ctrl+C:
//   corvane-tesk-dispatcher [--port N] [--pipe NAME]
#include "dispatch_pipe.h"
#include "win_dispatcher.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace {
constexpr wchar_t kServiceName[] = L"CorvaneTeskDispatcher";
uint16_t g_port = 5555;
std::wstring g_pipe = kDispatcherPipe;
WinDispatcher *g_running = nullptr;
SERVICE_STATUS_HANDLE g_status = nullptr;

// All addresses, IPv6 and IPv4, and no other program beside it on the port.
SOCKET ListenOnFaxPort(uint16_t port)
{
    SOCKET listener = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    const bool ipv6 = listener != INVALID_SOCKET;
    if (!ipv6)
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return INVALID_SOCKET;
    DWORD off = 0;
    BOOL exclusive = TRUE;
    if (ipv6)
        setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char *>(&off), sizeof off);
    setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char *>(&exclusive),
               sizeof exclusive);
    sockaddr_storage address{};
    int length = ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (ipv6) {
        auto &in6 = reinterpret_cast<sockaddr_in6 &>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
    } else {
        auto &in4 = reinterpret_cast<sockaddr_in &>(address);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(port);
    }
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(listener, SOMAXCONN) != 0) {
        closesocket(listener);
        return INVALID_SOCKET;
    }
    return listener;
}

int Serve()
{
    const SOCKET listener = ListenOnFaxPort(g_port);
    if (listener == INVALID_SOCKET) {
        std::fprintf(stderr, "corvane-tesk-dispatcher: port %u: Winsock error %d\n", g_port, WSAGetLastError());
        return 1;
    }
    WinDispatcher dispatcher({listener, g_pipe});
    g_running = &dispatcher;
    std::puts("ready");
    std::fflush(stdout);
    const bool served = dispatcher.Run();
    g_running = nullptr;
    if (!served)
        std::fputs("corvane-tesk-dispatcher: the registration pipe is taken\n", stderr);
    return served ? 0 : 1;
}

void Report(DWORD state, DWORD exitCode = NO_ERROR)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode;
    SetServiceStatus(g_status, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void *, void *)
{
    if ((control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) && g_running) {
        Report(SERVICE_STOP_PENDING);
        g_running->Stop();
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t **)
{
    g_status = RegisterServiceCtrlHandlerExW(kServiceName, OnControl, nullptr);
    if (!g_status)
        return;
    Report(SERVICE_RUNNING);
    const int result = Serve();
    Report(SERVICE_STOPPED, result == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR);
}

BOOL WINAPI OnConsoleControl(DWORD)
{
    if (g_running)
        g_running->Stop();
    return TRUE;
}
} // namespace

int wmain(int argc, wchar_t **argv)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--port") == 0)
            g_port = uint16_t(std::wcstoul(argv[i + 1], nullptr, 10));
        else if (std::wcscmp(argv[i], L"--pipe") == 0)
            g_pipe = argv[i + 1];
    }
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        return 1;
    int result = 0;
    SERVICE_TABLE_ENTRYW services[] = {{const_cast<wchar_t *>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(services)) {
        // Not started by the service manager: a console run.
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
        result = Serve();
    }
    WSACleanup();
    return result;
}
