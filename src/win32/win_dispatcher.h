#pragma once

// The dispatcher of a Windows session host: owns the fax servers' port and
// hands each connection to the program of the user it is for, by the rules
// of routing.h. Programs register through a named pipe (dispatch_pipe.h);
// their user is their token's, never what they say. A program writes
// "READY n" when free (n: connections it has received) and "BUSY" when not;
// connections reach it as "CONNECTION" messages. A fax server's connection
// has one second for its first line, of which nothing beyond is read.

#include "routing.h"
#include "win32_defs.h"

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class WinDispatcher {
public:
    struct Config {
        SOCKET faxListener = INVALID_SOCKET; // listening, taken over
        std::wstring pipeName;
        std::chrono::milliseconds lineDeadline{1000};
        size_t maxWaiting = 512;
        size_t maxPerUser = 16;
    };

    explicit WinDispatcher(Config config);
    ~WinDispatcher();
    WinDispatcher(const WinDispatcher &) = delete;
    WinDispatcher &operator=(const WinDispatcher &) = delete;

    // Serves until Stop; false when the pipe cannot be made (its name taken).
    bool Run();
    // From any thread.
    void Stop();

private:
    struct Waiting {
        SOCKET socket;
        std::chrono::steady_clock::time_point deadline;
        std::string head; // the unfinished first line's bytes read so far
    };
    struct Registration {
        std::string account; // UTF-8
        DWORD process = 0;
        uint64_t handed = 0;
        bool free = false;
    };

    void ServeProgram(HANDLE pipe);
    bool ReadMessage(HANDLE pipe, std::string &message);
    void Hear(HANDLE pipe, const std::string &message);
    bool ReadLine(Waiting &waiting); // true when settled
    void Route(SOCKET connection, const routing::Request &request);

    Config m_config;
    HANDLE m_stop;
    std::atomic<bool> m_stopping{false};
    std::vector<Waiting> m_waiting;
    std::mutex m_lock; // guards m_programs and m_threads
    std::map<HANDLE, Registration> m_programs;
    std::vector<std::thread> m_threads;
};

// Refuses a fax server's connection with a reset.
void RefuseWithReset(SOCKET connection);
