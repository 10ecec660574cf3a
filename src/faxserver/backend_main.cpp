// corvane-fax: a print-queue backend that faxes each job through HylaFAX, to
// the destination the sender confirms on their desktop.
//
// Invoked by the print system as: corvane-fax JOB USER TITLE COPIES OPTIONS [FILE]
// with DEVICE_URI set; with no arguments it lists its device.

#include "fax_backend.h"
#include "job_origin.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using corvane::fax::BackendStatus;
using corvane::fax::Report;

int Exit(BackendStatus status) { return static_cast<int>(status); }

// Writes TEXT to the scheduler in one piece.
void Emit(const std::string &text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t count = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        done += static_cast<std::size_t>(count);
    }
}
void Emit(const Report &report, const std::string &before = {}) { Emit(before + corvane::fax::ReportLines(report)); }

// What a stop of the job (SIGTERM from the scheduler) must undo: the running
// sendfax and the document's copy.
volatile sig_atomic_t g_child = 0;
char g_temporary[4096] = "";

void OnTerminate(int)
{
    if (g_child > 0)
        ::kill(g_child, SIGTERM);
    if (g_temporary[0] != '\0')
        ::unlink(g_temporary);
    ::_exit(static_cast<int>(BackendStatus::Cancel));
}

// The job's document as a file: the one the print system names, or standard
// input copied into TMPDIR (removed again on every ending).
std::string DocumentPath(int argc, char **argv)
{
    if (argc == 7)
        return argv[6];
    const char *tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-fax-XXXXXX";
    if (path.size() >= sizeof g_temporary)
        return {};
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &term, &old);
    const int fd = ::mkstemp(path.data());
    if (fd >= 0)
        std::memcpy(g_temporary, path.c_str(), path.size() + 1);
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
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
    return path;
}

void RemoveTemporary()
{
    if (g_temporary[0] != '\0')
        ::unlink(g_temporary);
    g_temporary[0] = '\0';
}

// Runs sendfax with ARGS; its exit status, or -1 when it could not be run or
// was ended by a signal. OUTPUT gets what it printed.
int RunSendfax(const std::vector<std::string> &args, std::string &output)
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
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &term, &old);
    // sendfax starts with the signal mask and handlers of its own, so that
    // the stop passed on to it ends it.
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setsigmask(&attributes, &old);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const int error = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    if (error == 0)
        g_child = pid;
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (error != 0) {
        ::close(pipeFds[0]);
        output = "cannot run sendfax: " + std::string(std::strerror(error));
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
    g_child = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool IsLocalAccount(const std::string &name) { return ::getpwnam(name.c_str()) != nullptr; }

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
    struct sigaction onTerm {};
    onTerm.sa_handler = OnTerminate;
    ::sigaction(SIGTERM, &onTerm, nullptr);

    const int job = std::atoi(argv[1]);
    const std::string user = argv[2];
    const std::string shownUser = Printable(user);

    const char *uri = std::getenv("DEVICE_URI");
    std::string why;
    const auto settings = ParseDeviceUri(uri ? uri : "", why);
    if (!settings) {
        Emit(Report{"ERROR", Printable(why), "The fax queue is set up wrongly; see the print server's log."});
        return Exit(BackendStatus::Stop);
    }

    // The desktop to ask: the address the scheduler recorded for the
    // connection that submitted the job.
    const char *server = std::getenv("CUPS_SERVER");
    const auto origin = AskJobOrigin(server ? server : "", job, user, why);
    if (!origin) {
        Emit(Report{"ERROR", Printable(why) + "; nothing was sent",
                    "The print server did not tell where the job came from; nothing was sent."});
        return Exit(BackendStatus::Cancel);
    }
    Query query;
    query.host = DesktopHost(origin->host);
    if (origin->namedByClient || IsThisMachine(query.host)) {
        if (!settings->allowLocal) {
            Emit(Report{"ERROR", "job " + std::to_string(job) + " of " + shownUser + " was printed on the fax server itself ("
                             + (origin->namedByClient ? "naming its origin " : "") + Printable(origin->host)
                             + "), where any local user could answer for a desktop or name one; nothing was "
                             "sent (allow-local=yes in the queue's device URI allows it)",
                        "Jobs printed on the fax server itself are not faxed; print from your desktop."});
            return Exit(BackendStatus::Cancel);
        }
        if (query.host == "localhost" || query.host.ends_with(".localhost"))
            query.host = "localhost";
    }
    query.port = settings->port;
    query.answerTimeout = settings->answerTimeout;
    query.connectTimeout = settings->connectTimeout;
    if (settings->nameUser && IsValidUserName(user))
        query.user = user;

    Emit(Report{"INFO", "asking " + Printable(query.host) + " where job " + std::to_string(job) + " of " + shownUser + " goes",
                "Asking the sender's desktop where the fax goes."});
    const Answer answer = AskDesktop(query);
    const Verdict verdict = Decide(answer, query.host);
    if (!verdict.fax) {
        Emit(verdict.report);
        return Exit(verdict.status);
    }

    const std::string document = DocumentPath(argc, argv);
    if (document.empty()) {
        Emit(Report{"ERROR", "cannot store the job's document: " + std::string(std::strerror(errno)),
                    "The fax server cannot store the document; the job is tried again later."});
        return Exit(BackendStatus::Retry);
    }
    const Destination &destination = answer.destination;
    const std::string owner = HylafaxOwner(user);
    const std::string notice = NoticeAddress(owner, *settings, IsLocalAccount(owner));
    std::vector<std::string> args{"sendfax"};
    if (!settings->hylafaxHost.empty())
        args.insert(args.end(), {"-h", settings->hylafaxHost});
    args.insert(args.end(), {"-n", notice.empty() ? "-N" : "-D", "-o", owner, "-f", notice.empty() ? owner : notice,
                             "-d", SendfaxDestination(destination), document});
    std::string output;
    const int status = RunSendfax(args, output);
    RemoveTemporary();
    const std::string request = status == 0 ? SendfaxRequestId(output) : std::string();

    const std::string to = Printable(destination.recipient.empty()
                                         ? destination.number
                                         : destination.number + " (" + SendfaxSafeName(destination.recipient) + ")");
    const std::string level = request.empty() ? "ERROR" : "INFO";
    std::string said; // sendfax's own words, for the log only
    for (std::size_t start = 0, end; start < output.size(); start = end + 1) {
        end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        said += level + ": sendfax: " + Printable(output.substr(start, end - start)) + "\n";
    }
    if (request.empty()) {
        Emit(Report{"ERROR", "HylaFAX did not confirm the fax to " + to + " for " + shownUser
                         + (status == 0 ? " (sendfax printed no job number); nothing was sent"
                                        : "; the job stays queued and the desktop is asked again later"),
                    status == 0 ? "HylaFAX did not confirm the fax; nothing was sent."
                                : "HylaFAX did not take the fax; the job is tried again later."},
             said);
        return Exit(status == 0 ? BackendStatus::Cancel : BackendStatus::Retry);
    }
    Emit(Report{"WARNING", "faxing to " + to + " as HylaFAX job " + request + ", for " + shownUser
                     + (owner != user ? " (HylaFAX owner " + owner + ")" : "")
                     + (notice.empty() ? ", no notice mail" : ", notice to " + notice) + ", asked at " + Printable(query.host)
                     + (query.host != origin->host ? " (the job's origin " + Printable(origin->host) + ")" : ""),
                "The fax is queued in HylaFAX."},
         said);
    return Exit(BackendStatus::Ok);
}
