// corvane-tesk-dispatcher: owns the fax servers' port on a host where several
// people are signed in and hands each request to the program of the user it
// is for. Started by the service manager's socket unit, or directly:
//   corvane-tesk-dispatcher [--port N] [--socket PATH]
#include "dispatcher.h"
#include "listeners.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr uint16_t kFaxServerPort = 5555;
constexpr const char *kProgramSocket = "/run/corvane-tesk/register";

Dispatcher *g_running = nullptr;

void OnTermination(int)
{
    if (g_running)
        g_running->Stop();
}

// Raises the limit of open descriptors as far as allowed; the limit.
std::size_t OpenFilesAllowed()
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return 1024;
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    ::getrlimit(RLIMIT_NOFILE, &files);
    return files.rlim_cur == RLIM_INFINITY ? 65536 : std::size_t(files.rlim_cur);
}

int Usage()
{
    std::fputs("usage: corvane-tesk-dispatcher [--port N] [--socket PATH]\n", stderr);
    return EXIT_FAILURE;
}

} // namespace

int main(int argc, char *argv[])
{
    long port = kFaxServerPort;
    std::string path = kProgramSocket;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return Usage();
        if (option == "--port") {
            char *end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (*end || port < 0 || port > 65535)
                return Usage();
        } else if (option == "--socket") {
            path = argv[++i];
        } else {
            return Usage();
        }
    }

    std::signal(SIGPIPE, SIG_IGN);
    bool madeHere = false;
    try {
        Listeners listeners = InheritedListeners();
        if (listeners.fax < 0)
            listeners.fax = ListenOnFaxPort(uint16_t(port));
        if (listeners.program < 0) {
            listeners.program = ListenForPrograms(path);
            madeHere = true;
        }
        Dispatcher::Config config;
        config.faxListener = listeners.fax;
        config.programListener = listeners.program;
        config.account = [](uid_t uid) -> std::optional<std::string> {
            std::string name = AccountName(uid);
            return name.empty() ? std::nullopt : std::optional(name);
        };
        // Bounds well inside the descriptors this process may hold, so that
        // accepting never fails for want of one.
        const std::size_t descriptors = OpenFilesAllowed();
        config.maxWaiting = std::min<std::size_t>(config.maxWaiting, descriptors / 2);
        config.maxPrograms = std::min<std::size_t>(config.maxPrograms, descriptors / 4);
        Dispatcher dispatcher(config);
        g_running = &dispatcher;
        struct sigaction stop{};
        stop.sa_handler = OnTermination;
        ::sigaction(SIGTERM, &stop, nullptr);
        ::sigaction(SIGINT, &stop, nullptr);
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
        dispatcher.Run();
        g_running = nullptr;
    } catch (const std::system_error &error) {
        std::fprintf(stderr, "corvane-tesk-dispatcher: %s\n", error.what());
        return EXIT_FAILURE;
    }
    if (madeHere)
        ::unlink(path.c_str());
    return EXIT_SUCCESS;
}
