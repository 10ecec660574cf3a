// corvane-fax: a print-queue backend that faxes each job through HylaFAX, to
// the destination the sender confirms on their desktop.
//
// Invoked by the print system as: corvane-fax JOB USER TITLE COPIES OPTIONS [FILE]
// with DEVICE_URI set; with no arguments it lists its device.

#include "fax_backend.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using corvane::fax::BackendStatus;

int Exit(BackendStatus status) { return static_cast<int>(status); }

void LogLine(const std::string &line) { std::cerr << line << '\n' << std::flush; }

// The job's document as a file: the one the print system names, or standard
// input copied into TMPDIR (removed again by the caller).
std::string DocumentPath(int argc, char **argv, bool &temporary)
{
    temporary = false;
    if (argc == 7)
        return argv[6];
    const char *tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-fax-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        return {};
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count == 0)
            break;
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 || ::write(fd, buffer, static_cast<size_t>(count)) != count) {
            ::close(fd);
            ::unlink(path.c_str());
            return {};
        }
    }
    ::close(fd);
    temporary = true;
    return path;
}

// Runs sendfax with ARGS; its exit status, or -1 when it could not be run.
// OUTPUT gets what it printed, REQUEST the HylaFAX job id.
int RunSendfax(const std::vector<std::string> &args, std::string &output, std::string &request)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (error != 0) {
        ::close(pipeFds[0]);
        LogLine("ERROR: cannot run sendfax: " + std::string(std::strerror(error)));
        return -1;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(pipeFds[0], buffer, sizeof buffer);
        if (count > 0)
            output.append(buffer, static_cast<size_t>(count));
        else if (count == 0 || errno != EINTR)
            break;
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    constexpr std::string_view kRequest = "request id is ";
    if (const std::size_t at = output.find(kRequest); at != std::string::npos) {
        const std::size_t from = at + kRequest.size();
        request = output.substr(from, output.find_first_of(" \n", from) - from);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main(int argc, char **argv)
{
    using namespace corvane::fax;
    std::signal(SIGPIPE, SIG_IGN);
    if (argc == 1) {
        std::cout << "network corvane-fax:/ \"Corvane Tesk\" \"Fax through HylaFAX, "
                     "to the number confirmed on the sender's desktop\"\n";
        return 0;
    }
    if (argc != 6 && argc != 7) {
        std::cerr << "Usage: corvane-fax job-id user title copies options [file]\n";
        return Exit(BackendStatus::Failed);
    }
    const std::string job = argv[1];
    const std::string user = argv[2];

    const char *uri = std::getenv("DEVICE_URI");
    std::string why;
    const auto settings = ParseDeviceUri(uri ? uri : "", why);
    if (!settings) {
        LogLine("ERROR: " + why);
        return Exit(BackendStatus::Stop);
    }

    const auto originating = JobOption(argv[5], "job-originating-host-name");
    if (!originating || originating->empty()) {
        LogLine("ERROR: job " + job + " names no originating host, so there is no desktop to ask; nothing was sent");
        return Exit(BackendStatus::Failed);
    }
    Query query;
    query.host = DesktopHost(*originating);
    query.port = settings->port;
    query.answerTimeout = settings->answerTimeout;
    query.connectTimeout = settings->connectTimeout;

    LogLine("INFO: asking " + query.host + " where the fax goes");
    const Answer answer = AskDesktop(query);
    const Verdict verdict = Decide(answer, query.host);
    if (!verdict.fax) {
        LogLine(verdict.logLine);
        return Exit(verdict.status);
    }

    bool temporary = false;
    const std::string document = DocumentPath(argc, argv, temporary);
    if (document.empty()) {
        LogLine("ERROR: cannot store the job's document: " + std::string(std::strerror(errno)));
        return Exit(BackendStatus::Retry);
    }
    const Destination &destination = answer.destination;
    std::vector<std::string> args{"sendfax"};
    if (!settings->hylafaxHost.empty())
        args.insert(args.end(), {"-h", settings->hylafaxHost});
    args.insert(args.end(), {"-n", "-D", "-o", user, "-f", user, "-d", SendfaxDestination(destination), document});
    std::string output, request;
    const int status = RunSendfax(args, output, request);
    if (temporary)
        ::unlink(document.c_str());

    const std::string to = destination.recipient.empty()
        ? destination.number
        : destination.number + " (" + destination.recipient + ")";
    // sendfax's own words, in the log at the level of the outcome.
    const std::string level = status == 0 ? "DEBUG" : "ERROR";
    for (std::size_t start = 0, end; start < output.size(); start = end + 1) {
        end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        LogLine(level + ": sendfax: " + output.substr(start, end - start));
    }
    if (status != 0) {
        LogLine("ERROR: HylaFAX did not take the fax to " + to
                + "; the job stays queued and the desktop is asked again later");
        return Exit(BackendStatus::Retry);
    }
    LogLine("WARNING: faxing to " + to + " as HylaFAX job " + (request.empty() ? "?" : request) + ", for " + user);
    return Exit(BackendStatus::Ok);
}
