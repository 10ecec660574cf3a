// select() watches at most FD_SETSIZE sockets; room for every waiting one.
#define FD_SETSIZE 1024
#include "win_dispatcher.h"

#include "dispatch_pipe.h"

#include <algorithm>

namespace {
constexpr int kAcceptsPerPass = 64;
constexpr int kLongestWaitMs = 100; // how soon Stop is noticed
constexpr DWORD kLongestMessage = 64;

std::string Utf8(const std::wstring &text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

// Waits for an overlapped operation or for the stop event; false on stop or
// failure, the operation then cancelled.
bool Finish(HANDLE handle, OVERLAPPED &operation, HANDLE stop, DWORD &count)
{
    const HANDLE both[] = {operation.hEvent, stop};
    if (WaitForMultipleObjects(2, both, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(handle, &operation);
        GetOverlappedResult(handle, &operation, &count, TRUE);
        return false;
    }
    return GetOverlappedResult(handle, &operation, &count, FALSE);
}
} // namespace

void RefuseWithReset(SOCKET connection)
{
    const linger abort{1, 0};
    setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&abort), sizeof abort);
    closesocket(connection);
}

WinDispatcher::WinDispatcher(Config config)
    : m_config(std::move(config)), m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

WinDispatcher::~WinDispatcher()
{
    for (const Waiting &waiting : m_waiting)
        RefuseWithReset(waiting.socket);
    closesocket(m_config.faxListener);
    CloseHandle(m_stop);
}

void WinDispatcher::Stop()
{
    m_stopping = true;
    SetEvent(m_stop);
}

bool WinDispatcher::Run()
{
    const HANDLE first = CreateRegistrationPipe(m_config.pipeName, true);
    if (first == INVALID_HANDLE_VALUE)
        return false;
    std::thread pipes([this, first] {
        HANDLE pipe = first;
        while (pipe != INVALID_HANDLE_VALUE) {
            OVERLAPPED connected{};
            connected.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            DWORD ignored = 0;
            const bool now = ConnectNamedPipe(pipe, &connected);
            const DWORD error = GetLastError();
            const bool ok = now || error == ERROR_PIPE_CONNECTED ||
                            (error == ERROR_IO_PENDING && Finish(pipe, connected, m_stop, ignored));
            CloseHandle(connected.hEvent);
            if (!ok) {
                CloseHandle(pipe);
                if (m_stopping)
                    return;
            } else {
                std::lock_guard hold(m_lock);
                m_threads.emplace_back([this, pipe] { ServeProgram(pipe); });
            }
            pipe = CreateRegistrationPipe(m_config.pipeName, false);
        }
    });

    u_long nonBlocking = 1;
    ioctlsocket(m_config.faxListener, FIONBIO, &nonBlocking);
    while (!m_stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_config.faxListener, &readable);
        auto wait = std::chrono::milliseconds(kLongestWaitMs);
        const auto now = std::chrono::steady_clock::now();
        for (const Waiting &waiting : m_waiting) {
            FD_SET(waiting.socket, &readable);
            wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(waiting.deadline - now));
        }
        timeval timeout{0, long(std::max<int64_t>(0, wait.count())) * 1000};
        if (select(0, &readable, nullptr, nullptr, &timeout) == SOCKET_ERROR)
            FD_ZERO(&readable);
        // What a connection already waiting sent, then the newcomers.
        std::erase_if(m_waiting, [&](Waiting &waiting) {
            return FD_ISSET(waiting.socket, &readable) && ReadLine(waiting);
        });
        for (int i = 0; i < kAcceptsPerPass && FD_ISSET(m_config.faxListener, &readable); ++i) {
            const SOCKET connection = accept(m_config.faxListener, nullptr, nullptr);
            if (connection == INVALID_SOCKET)
                break;
            if (m_waiting.size() >= m_config.maxWaiting) {
                RefuseWithReset(connection);
                continue;
            }
            ioctlsocket(connection, FIONBIO, &nonBlocking);
            m_waiting.push_back({connection, std::chrono::steady_clock::now() + m_config.lineDeadline, {}});
        }
        // Deadlines: silence goes to the only user; a line begun is refused.
        const auto later = std::chrono::steady_clock::now();
        std::erase_if(m_waiting, [&](Waiting &waiting) {
            if (waiting.deadline > later)
                return false;
            char byte;
            if (waiting.head.empty() && recv(waiting.socket, &byte, 1, MSG_PEEK) == SOCKET_ERROR &&
                WSAGetLastError() == WSAEWOULDBLOCK)
                Route(waiting.socket, {routing::Request::Silent, {}});
            else
                RefuseWithReset(waiting.socket);
            return true;
        });
    }
    pipes.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard hold(m_lock);
        threads.swap(m_threads);
    }
    for (std::thread &thread : threads)
        thread.join();
    return true;
}

// Reads what has come of the first line; only bytes of that line are taken
// off the connection (the rest is peeked at). True once settled.
bool WinDispatcher::ReadLine(Waiting &waiting)
{
    char peeked[routing::kMaxLine];
    const int wanted = int(routing::kMaxLine - waiting.head.size());
    const int n = recv(waiting.socket, peeked, wanted, MSG_PEEK);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK)
        return false;
    if (n <= 0) { // gone
        closesocket(waiting.socket);
        return true;
    }
    const routing::FirstLine line = routing::ReadFirstLine(waiting.head + std::string(peeked, size_t(n)));
    const size_t take = line.kind == routing::FirstLine::Named ? line.length - waiting.head.size() : size_t(n);
    if (line.kind == routing::FirstLine::Refused || recv(waiting.socket, peeked, int(take), 0) != int(take)) {
        RefuseWithReset(waiting.socket);
        return true;
    }
    waiting.head.append(peeked, take);
    if (line.kind == routing::FirstLine::Incomplete)
        return false;
    Route(waiting.socket, {routing::Request::Named, line.user});
    return true;
}

void WinDispatcher::Route(SOCKET connection, const routing::Request &request)
{
    std::lock_guard hold(m_lock);
    std::vector<routing::Program> programs;
    std::vector<HANDLE> pipes;
    for (const auto &[pipe, registration] : m_programs) {
        programs.push_back({registration.account, registration.free});
        pipes.push_back(pipe);
    }
    const auto chosen = routing::Choose(request, programs);
    if (!chosen) {
        RefuseWithReset(connection);
        return;
    }
    Registration &registration = m_programs.at(pipes[*chosen]);
    registration.free = false;
    if (!HandOverConnection(connection, registration.process, pipes[*chosen])) {
        RefuseWithReset(connection);
        return;
    }
    ++registration.handed;
    closesocket(connection);
}

bool WinDispatcher::ReadMessage(HANDLE pipe, std::string &message)
{
    char bytes[kLongestMessage];
    OVERLAPPED read{};
    read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD count = 0;
    const bool now = ReadFile(pipe, bytes, sizeof bytes, &count, &read);
    const bool ok = now || (GetLastError() == ERROR_IO_PENDING && Finish(pipe, read, m_stop, count));
    CloseHandle(read.hEvent);
    // A longer message (ERROR_MORE_DATA) is no message of ours.
    message.assign(bytes, ok ? count : 0);
    return ok && count > 0;
}

void WinDispatcher::ServeProgram(HANDLE pipe)
{
    std::string message;
    // The system tells who the client is once it has written.
    const auto client = ReadMessage(pipe, message) ? IdentifyPipeClient(pipe) : std::nullopt;
    bool registered = false;
    if (client) {
        std::lock_guard hold(m_lock);
        const std::string account = Utf8(client->user);
        const auto sameUser = std::count_if(m_programs.begin(), m_programs.end(), [&](const auto &entry) {
            return routing::SameUser(entry.second.account, account);
        });
        if (size_t(sameUser) < m_config.maxPerUser) {
            m_programs[pipe] = {account, client->process};
            registered = true;
        }
    }
    if (registered) {
        do
            Hear(pipe, message);
        while (ReadMessage(pipe, message));
        std::lock_guard hold(m_lock);
        m_programs.erase(pipe);
    }
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
}

void WinDispatcher::Hear(HANDLE pipe, const std::string &message)
{
    std::lock_guard hold(m_lock);
    Registration &registration = m_programs.at(pipe);
    if (message == "BUSY")
        registration.free = false;
    else if (message.starts_with("READY "))
        registration.free = message.substr(6) == std::to_string(registration.handed);
    // Anything else, a claim to be some user included, is ignored.
}
