// The program's socket on a session host: registered with the dispatcher
// service's pipe instead of listening on the port.
#include "dispatch_pipe.h"
#include "winsock_socket.h"

bool WinsockSocket::UseDispatcher(const std::wstring &pipeName)
{
    m_pipe = CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
    if (m_pipe == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(m_pipe, &mode, nullptr, nullptr);
    TellDispatcher("BUSY"); // the dispatcher learns who we are once we write
    m_pipeReader = std::thread([pipe = m_pipe, window = m_window.Handle()] {
        for (;;) {
            char bytes[1024];
            DWORD count = 0;
            OVERLAPPED read{};
            read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            const bool ok = ReadFile(pipe, bytes, sizeof bytes, &count, &read) ||
                            (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(pipe, &read, &count, TRUE));
            CloseHandle(read.hEvent);
            if (!ok)
                return; // the dispatcher has gone, or this socket is closing
            const SOCKET connection = TakeHandedOverConnection(std::string(bytes, count));
            PostMessageW(window, kHandedOverMessage, WPARAM(connection), 0);
        }
    });
    return true;
}

void WinsockSocket::TellDispatcher(const std::string &word)
{
    OVERLAPPED written{};
    written.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD count = 0;
    if (!WriteFile(m_pipe, word.data(), DWORD(word.size()), &count, &written) && GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(m_pipe, &written, &count, TRUE);
    CloseHandle(written.hEvent);
}
