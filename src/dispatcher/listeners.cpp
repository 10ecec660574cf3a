#include "listeners.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string &what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

constexpr int kFirstPassed = 3; // the service manager's descriptors start here

int Family(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    return ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0 ? address.ss_family : -1;
}

sockaddr_un UnixAddress(const std::string &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        Fail(path);
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

} // namespace

Listeners InheritedListeners()
{
    Listeners found;
    const char *pid = std::getenv("LISTEN_PID");
    const char *fds = std::getenv("LISTEN_FDS");
    if (!pid || !fds || std::strtol(pid, nullptr, 10) != long(::getpid()))
        return found;
    const long count = std::strtol(fds, nullptr, 10);
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_FDNAMES");
    for (int fd = kFirstPassed; fd < kFirstPassed + count; ++fd) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        const int family = Family(fd);
        if ((family == AF_INET || family == AF_INET6) && found.fax < 0)
            found.fax = fd;
        else if (family == AF_UNIX && found.program < 0)
            found.program = fd;
        else
            ::close(fd);
    }
    return found;
}

int ListenOnFaxPort(uint16_t port)
{
    int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1, off = 0;
    if (fd >= 0) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_port = htons(port);
        any.sin6_addr = in6addr_any;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&any), sizeof any) == 0 && ::listen(fd, SOMAXCONN) == 0)
            return fd;
        if (errno != EAFNOSUPPORT && errno != EADDRNOTAVAIL)
            Fail("port " + std::to_string(port));
        ::close(fd);
    }
    // A host without IPv6.
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        Fail("socket");
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0 || ::listen(fd, SOMAXCONN) != 0)
        Fail("port " + std::to_string(port));
    return fd;
}

int ListenForPrograms(const std::string &path)
{
    const sockaddr_un address = UnixAddress(path);
    // Its folder, when run directly on a host where systemd has not made it.
    if (const std::size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0)
        if (::mkdir(path.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST)
            Fail(path.substr(0, slash));
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        Fail("socket");
    const auto *raw = reinterpret_cast<const sockaddr *>(&address);
    if (::bind(fd, raw, sizeof address) != 0) {
        if (errno != EADDRINUSE)
            Fail(path);
        const int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        const bool answers = probe >= 0 && ::connect(probe, raw, sizeof address) == 0;
        if (probe >= 0)
            ::close(probe);
        if (answers) {
            errno = EADDRINUSE;
            Fail(path + " (another dispatcher answers there)");
        }
        struct stat left{};
        if (::lstat(path.c_str(), &left) != 0 || !S_ISSOCK(left.st_mode) || ::unlink(path.c_str()) != 0 ||
            ::bind(fd, raw, sizeof address) != 0)
            Fail(path);
    }
    if (::chmod(path.c_str(), 0666) != 0 || ::listen(fd, SOMAXCONN) != 0)
        Fail(path);
    return fd;
}

std::string AccountName(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return found->pw_name;
}
