#include "dispatcher_fixture.h"

#include "descriptor_passing.h"
#include "listeners.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::optional<std::string> Account(uid_t uid)
{
    switch (uid) {
    case kAlice: return "alice";
    case kBob: return "bob";
    case kCarol: return "carol";
    default: return std::nullopt;
    }
}

// Connections whose reset came before their first line was written: the
// write took the error, so reading would only see the end.
std::set<int> g_resetEarly;

bool Readable(int fd, std::chrono::milliseconds within)
{
    pollfd watched{fd, POLLIN, 0};
    return ::poll(&watched, 1, int(within.count())) == 1;
}

} // namespace

TestHost::TestHost(std::chrono::milliseconds deadline, std::size_t maxWaiting, Dispatcher::AccountOf account)
{
    char pattern[] = "/tmp/corvane-dispatcher-test.XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("mkdtemp");
    m_dir = pattern;
    std::filesystem::permissions(m_dir, std::filesystem::perms(0755));
    m_socket = m_dir + "/register";
    m_config.account = account ? std::move(account) : Dispatcher::AccountOf(Account);
    m_config.lineDeadline = deadline;
    m_config.maxWaiting = maxWaiting;
    Start();
}

void TestHost::Start()
{
    m_config.faxListener = ListenOnFaxPort(m_port);
    sockaddr_in6 bound{};
    socklen_t length = sizeof bound;
    ::getsockname(m_config.faxListener, reinterpret_cast<sockaddr *>(&bound), &length);
    m_port = ntohs(bound.sin6_port);
    m_config.programListener = ListenForPrograms(m_socket);
    m_dispatcher = std::make_unique<Dispatcher>(m_config);
    m_thread = std::thread([this] { m_dispatcher->Run(); });
}

void TestHost::Restart()
{
    m_dispatcher->Stop();
    m_thread.join();
    m_dispatcher.reset();
    Start();
}

TestHost::~TestHost()
{
    m_dispatcher->Stop();
    m_thread.join();
    m_dispatcher.reset();
    std::filesystem::remove_all(m_dir);
}

TestProgram::TestProgram(const TestHost &host, uid_t uid)
{
    // A child becomes the user and connects; the system records the user
    // for the connection then. It hands the connection back and ends.
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        throw std::runtime_error("socketpair");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, host.SocketPath().c_str(), sizeof address.sun_path - 1);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        if (::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0 ||
            ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            ::_exit(1);
        ::_exit(SendWithDescriptor(pair[1], "x", fd, 0) == 1 ? 0 : 1);
    }
    ::close(pair[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    char byte;
    if (status == 0) {
        const ReceivedMessage received = ReceiveWithDescriptors(pair[0], std::span(&byte, 1), 1, 0);
        if (received.length == 1 && !received.descriptors.empty())
            m_fd = received.descriptors.front();
    }
    ::close(pair[0]);
    if (m_fd < 0)
        throw std::runtime_error("could not register as uid " + std::to_string(uid));
}

TestProgram::~TestProgram()
{
    ::close(m_fd);
}

void TestProgram::Say(const std::string &message) const
{
    ::send(m_fd, message.data(), message.size(), MSG_NOSIGNAL);
}

int TestProgram::Take(std::chrono::milliseconds within)
{
    if (!Readable(m_fd, within))
        return -1;
    char text[64];
    const ReceivedMessage received = ReceiveWithDescriptors(m_fd, text, 1, 0);
    if (received.length <= 0 || received.descriptors.empty())
        return -1;
    const int connection = received.descriptors.front();
    ++m_received;
    return connection;
}

int Dial(uint16_t port, const std::string &first)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
    if (!first.empty() && ::send(fd, first.data(), first.size(), MSG_NOSIGNAL) < 0 &&
        (errno == ECONNRESET || errno == EPIPE))
        g_resetEarly.insert(fd);
    return fd;
}

std::string Outcome(int fd, std::chrono::milliseconds within)
{
    std::string result = "nothing";
    if (g_resetEarly.erase(fd)) {
        result = "reset";
    } else if (Readable(fd, within)) {
        char reply[256];
        const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
        result = n > 0 ? std::string(reply, std::size_t(n)) : n == 0 ? "closed" : errno == ECONNRESET ? "reset" : std::strerror(errno);
    }
    ::close(fd);
    return result;
}

void Answer(int connection, const std::string &user)
{
    const std::string reply = "for " + user;
    ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
    ::close(connection);
}
