// The program's socket on a session host: registered with the dispatcher
// service's pipe instead of listening on the port.
#include "dispatch_pipe.h"
#include "winsock_socket.h"

namespace {
constexpr UINT kRedialMs = 1000;
} // namespace

bool WinsockSocket::UseDispatcher(const std::wstring &pipeName)
{
    m_pipeName = pipeName;
    m_dispatched = ConnectDispatcher();
    return m_dispatched;
}

bool WinsockSocket::ConnectDispatcher()
{
    const HANDLE pipe = CreateFileW(m_pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    m_pipe = pipe;
    m_received = 0; // counted per registration
    // The dispatcher learns who we are once we write.
    TellDispatcher(m_free ? "READY 0" : "BUSY");
    m_pipeReader = std::thread([pipe, window = m_window.Handle()] {
        for (;;) {
            char bytes[1024];
            DWORD count = 0;
            OVERLAPPED read{};
            read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            const bool ok = ReadFile(pipe, bytes, sizeof bytes, &count, &read) ||
                            (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(pipe, &read, &count, TRUE));
            CloseHandle(read.hEvent);
            if (!ok) { // the dispatcher has gone, or this socket is closing
                PostMessageW(window, kDispatcherLostMessage, 0, 0);
                return;
            }
            const SOCKET connection = TakeHandedOverConnection(std::string(bytes, count));
            PostMessageW(window, kHandedOverMessage, WPARAM(connection), 0);
        }
    });
    return true;
}

void WinsockSocket::DropDispatcherPipe()
{
    if (m_pipe != INVALID_HANDLE_VALUE) {
        CancelIoEx(m_pipe, nullptr);
        CloseHandle(m_pipe);
        m_pipe = INVALID_HANDLE_VALUE;
    }
    if (m_pipeReader.joinable())
        m_pipeReader.join();
}

void WinsockSocket::OnDispatcherLost()
{
    if (m_pipe == INVALID_HANDLE_VALUE)
        return; // already redialling
    DropDispatcherPipe();
    SetTimer(m_window.Handle(), kRedialTimer, kRedialMs, nullptr);
}

void WinsockSocket::TellDispatcher(const std::string &word)
{
    if (m_pipe == INVALID_HANDLE_VALUE)
        return; // said again on registering anew
    OVERLAPPED written{};
    written.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD count = 0;
    if (!WriteFile(m_pipe, word.data(), DWORD(word.size()), &count, &written) && GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(m_pipe, &written, &count, TRUE);
    CloseHandle(written.hEvent);
}
