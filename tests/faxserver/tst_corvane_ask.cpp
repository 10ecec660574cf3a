// corvane-ask run as a program against real TCP peers on loopback: every
// outcome, its exit status and what it prints.

#include "check.h"
#include "peer.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using namespace std::chrono_literals;
using peer::Family;
using peer::Peer;

struct Run {
    int status = -1;
    std::string out;
    std::string err;
    std::chrono::milliseconds took{};
};

// Runs corvane-ask (its path in CORVANE_ASK) with ARGS; gives up after 60 s.
Run Ask(std::vector<std::string> args)
{
    const char *program = std::getenv("CORVANE_ASK");
    args.insert(args.begin(), program ? program : "corvane-ask");
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    Run run;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        run.err = "cannot run " + args[0];
        return run;
    }
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() - start < 60s) {
        if (::poll(fds, 2, 1000) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(count));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (open > 0)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (int i = 0; i < 2; ++i)
        if (fds[i].fd >= 0)
            ::close(fds[i].fd);
    return run;
}

std::string Reply(std::string_view number, std::string_view line3)
{
    return std::string(number) + "\r\n \r\n" + std::string(line3) + "\r\n \r\n";
}

std::function<void(int)> Answers(std::string data)
{
    return [data](int fd) { peer::WriteAll(fd, data); };
}

} // namespace

TEST(answers_are_printed_as_shell_assignments)
{
    {
        Peer desktop(Answers(Reply("0301234567", " ")));
        const Run run = Ask({"-p", std::to_string(desktop.port()), "127.0.0.1"});
        CHECK_EQ(run.status, 0);
        CHECK_EQ(run.out, "FAX_NUMBER='0301234567'\nFAX_RECIPIENT=''\nFAX_DESTINATION='0301234567'\n");
    }
    {
        Peer desktop(Answers(Reply("4930555", "O'Neil & Müller@Acme")));
        const Run run = Ask({"--port", std::to_string(desktop.port()), "localhost"});
        CHECK_EQ(run.status, 0);
        CHECK_EQ(run.out, "FAX_NUMBER='4930555'\nFAX_RECIPIENT='O'\\''Neil & Müller@Acme'\n"
                          "FAX_DESTINATION='O'\\''Neil & Müller\xEF\xBC\xA0" "Acme@4930555'\n");
    }
    {
        // Drip-fed, a byte at a time: only the end of the stream ends the reply.
        Peer desktop([](int fd) {
            for (char c : Reply("12", "Smith, John")) {
                peer::WriteAll(fd, std::string_view(&c, 1));
                std::this_thread::sleep_for(10ms);
            }
        });
        const Run run = Ask({"-p", std::to_string(desktop.port()), "127.0.0.1"});
        CHECK_EQ(run.status, 0);
        CHECK(run.out.starts_with("FAX_NUMBER='12'\nFAX_RECIPIENT='Smith, John'\n"));
    }
    {
        // A reply exactly as long as the limit.
        const std::string longest = Reply("1", std::string(4096 - Reply("1", "").size(), 'x'));
        Peer desktop(Answers(longest));
        CHECK_EQ(Ask({"-p", std::to_string(desktop.port()), "127.0.0.1"}).status, 0);
    }
}

TEST(a_late_answer_is_waited_for)
{
    Peer desktop([](int fd) {
        std::this_thread::sleep_for(2500ms);
        peer::WriteAll(fd, Reply("777", " "));
    });
    const Run run = Ask({"-p", std::to_string(desktop.port()), "-t", "30", "127.0.0.1"});
    CHECK_EQ(run.status, 0);
    CHECK(run.took >= 2500ms);
    CHECK(run.out.starts_with("FAX_NUMBER='777'\n"));
}

TEST(closing_without_a_word_is_a_cancel)
{
    Peer desktop([](int) {});
    const Run run = Ask({"-p", std::to_string(desktop.port()), "127.0.0.1"});
    CHECK_EQ(run.status, 1);
    CHECK_EQ(run.out, "");
    CHECK(run.err.find("cancelled") != std::string::npos);
}

TEST(refused_and_unreachable_desktops)
{
    const Run refused = Ask({"-p", std::to_string(peer::ClosedPort()), "127.0.0.1"});
    CHECK_EQ(refused.status, 2);
    CHECK_EQ(refused.out, "");
    CHECK(refused.err.find("refused") != std::string::npos);

    const Run unknown = Ask({"-p", "5", "no-such-desktop.invalid"});
    CHECK_EQ(unknown.status, 2);
    CHECK_EQ(unknown.out, "");

    // TEST-NET-1: no answer ever comes back, or there is no route.
    const Run blackhole = Ask({"-p", "5555", "-c", "1", "192.0.2.1"});
    CHECK_EQ(blackhole.status, 2);
    CHECK(blackhole.took < 15s);
}

TEST(no_answer_in_time_is_a_timeout)
{
    {
        Peer desktop(peer::WaitForClientClose);
        const Run run = Ask({"-p", std::to_string(desktop.port()), "-t", "1", "127.0.0.1"});
        CHECK_EQ(run.status, 3);
        CHECK(run.took >= 1s && run.took < 15s);
        CHECK_EQ(run.out, "");
    }
}

TEST(a_whole_answer_is_taken_without_end_of_stream)
{
    // Kept open after a whole answer, the connection is waited on only
    // briefly, never for the user's whole time to answer.
    {
        Peer desktop([](int fd) {
            peer::WriteAll(fd, Reply("0301234567", " "));
            peer::WaitForClientClose(fd);
        });
        const Run run = Ask({"-p", std::to_string(desktop.port()), "-t", "60", "127.0.0.1"});
        CHECK_EQ(run.status, 0);
        CHECK(run.out.starts_with("FAX_NUMBER='0301234567'\n"));
        CHECK(run.took < 10s);
    }
    // What still comes in that time makes it malformed.
    {
        Peer desktop([](int fd) {
            peer::WriteAll(fd, Reply("0301234567", " "));
            std::this_thread::sleep_for(500ms);
            peer::WriteAll(fd, "more");
            peer::WaitForClientClose(fd);
        });
        const Run run = Ask({"-p", std::to_string(desktop.port()), "-t", "60", "127.0.0.1"});
        CHECK_EQ(run.status, 4);
        CHECK_EQ(run.out, "");
    }
}

TEST(a_reset_is_a_refusal)
{
    // A desktop refuses a fax server it does not serve with a reset: at once,
    // as the connection is made, or once corvane-ask waits for the answer.
    for (const auto delay : {0ms, 300ms}) {
        Peer desktop([delay](int fd) {
            std::this_thread::sleep_for(delay);
            const linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        });
        const Run run = Ask({"-p", std::to_string(desktop.port()), "127.0.0.1"});
        CHECK_EQ(run.status, 2);
        CHECK_EQ(run.out, "");
        CHECK(run.err.find("refused") != std::string::npos);
    }
}

TEST(the_user_is_named_first_and_desktops_that_never_read_still_work)
{
    struct Case {
        std::vector<std::string> args;
        std::string sent;
    };
    const std::vector<Case> cases = {
        {{}, ""},
        {{"-u", "alice"}, "USER alice\r\n"},
        {{"-u", "Zoë O'Neil"}, "USER Zoë O'Neil\r\n"},
        {{"-u", std::string(256, 'u')}, "USER " + std::string(256, 'u') + "\r\n"},
    };
    for (const Case &c : cases) {
        std::string sent;
        Run run;
        {
            Peer desktop([&](int fd) {
                peer::WriteAll(fd, Reply("1", " "));
                ::shutdown(fd, SHUT_WR);
                sent = peer::ReadUntilClose(fd);
            });
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {"-p", std::to_string(desktop.port()), "127.0.0.1"});
            run = Ask(args);
        }
        CHECK_EQ(run.status, 0);
        CHECK_EQ(sent, c.sent);
    }
    // A desktop that serves one user never reads; closing with the USER line
    // unread, it ends with a reset instead of end-of-stream. Its answer
    // still counts.
    Peer desktop([&](int fd) {
        std::this_thread::sleep_for(200ms); // the USER line is in before the desktop closes
        peer::WriteAll(fd, Reply("2", " "));
    });
    const Run run = Ask({"-u", "alice", "-p", std::to_string(desktop.port()), "127.0.0.1"});
    CHECK_EQ(run.status, 0);
    CHECK(run.out.starts_with("FAX_NUMBER='2'\n"));
}

TEST(line_3_in_a_legacy_code_page)
{
    struct Case {
        std::vector<std::string> args;
        std::string line3;
        std::string recipient;
        int status;
    };
    const std::vector<Case> cases = {
        {{}, "M\xC3\xBCller", "Müller", 0},                  // UTF-8 stays
        {{}, "M\xFCller \x80", "Müller €", 0},                // Windows-1252 by default
        {{"-e", "CP1251"}, "\xCF\xE5\xF2\xF0\xEE\xE2", "Петров", 0}, // a code page named
        {{}, "M\x81ller", "", 4},                              // a byte Windows-1252 lacks
    };
    for (const Case &c : cases) {
        Peer desktop(Answers(Reply("1", c.line3)));
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-p", std::to_string(desktop.port()), "127.0.0.1"});
        const Run run = Ask(args);
        CHECK_EQ(run.status, c.status);
        if (c.status == 0)
            CHECK(run.out.find("FAX_RECIPIENT='" + c.recipient + "'\n") != std::string::npos);
    }
}

TEST(malformed_replies_are_never_passed_on)
{
    for (const std::string &data : {std::string("0301234567\n \n \n \n"), Reply("030 1234", " "),
                                    Reply("1", "Smith\x1b[2J"), std::string("0301234567\r\n"),
                                    Reply("1", std::string(4097, 'x'))}) {
        Peer desktop(Answers(data));
        const Run run = Ask({"-p", std::to_string(desktop.port()), "127.0.0.1"});
        CHECK_EQ(run.status, 4);
        CHECK_EQ(run.out, "");
        CHECK(run.err.find("malformed") != std::string::npos);
    }
}

TEST(a_flooding_peer_is_cut_off)
{
    std::atomic<std::size_t> written{0};
    std::atomic<bool> stopped{false};
    Run run;
    {
        Peer desktop([&](int fd) {
            written = peer::Flood(fd);
            stopped = true;
        });
        run = Ask({"-p", std::to_string(desktop.port()), "-t", "60", "127.0.0.1"});
    }
    CHECK_EQ(run.status, 4);
    CHECK_EQ(run.out, "");
    CHECK(run.took < 10s);
    // The flood ends because corvane-ask hung up, long before the peer's own 30 s.
    CHECK(stopped);
    CHECK(written > 4096);
}

TEST(ipv6_desktops)
{
    Peer desktop(Answers(Reply("66", "IPv6, Desk")), Family::V6);
    if (!desktop.listening()) {
        std::cout << "SKIP   ipv6_desktops: no IPv6 loopback here\n";
        return;
    }
    const Run bare = Ask({"-p", std::to_string(desktop.port()), "::1"});
    CHECK_EQ(bare.status, 0);
    CHECK(bare.out.starts_with("FAX_NUMBER='66'\nFAX_RECIPIENT='IPv6, Desk'\n"));

    Peer bracketed(Answers(Reply("67", " ")), Family::V6);
    const Run run = Ask({"-p", std::to_string(bracketed.port()), "[::1]"});
    CHECK_EQ(run.status, 0);
    CHECK(run.out.starts_with("FAX_NUMBER='67'\n"));
}

TEST(wrong_usage)
{
    CHECK_EQ(Ask({}).status, 64);
    CHECK_EQ(Ask({"-p", "0", "host"}).status, 64);
    CHECK_EQ(Ask({"-p", "70000", "host"}).status, 64);
    CHECK_EQ(Ask({"-t", "soon", "host"}).status, 64);
    CHECK_EQ(Ask({"-t", "0", "host"}).status, 64);
    CHECK_EQ(Ask({"a", "b"}).status, 64);
    CHECK_EQ(Ask({"-u", std::string(257, 'u'), "host"}).status, 64);
    CHECK_EQ(Ask({"-u", "al\rice", "host"}).status, 64);
    CHECK_EQ(Ask({"-u", "", "host"}).status, 64);
    CHECK_EQ(Ask({"-e", "no-such-code-page", "host"}).status, 64);
    const Run help = Ask({"--help"});
    CHECK_EQ(help.status, 0);
    CHECK(help.out.find("Exit status") != std::string::npos);
}

int main(int argc, char **argv) { return RUN_TESTS(argc, argv); }
