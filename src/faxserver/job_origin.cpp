#include "job_origin.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace corvane::fax {
namespace {

enum Tag : unsigned char {
    kOperationGroup = 0x01,
    kEndOfAttributes = 0x03,
    kInteger = 0x21,
    kUri = 0x45,
    kCharset = 0x47,
    kLanguage = 0x48,
    kName = 0x42,
    kKeyword = 0x44,
};
constexpr int kGetJobAttributes = 0x0009;

void Put16(std::string &out, std::size_t value)
{
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

void PutAttribute(std::string &out, Tag tag, std::string_view name, std::string_view value)
{
    out += static_cast<char>(tag);
    Put16(out, name.size());
    out += name;
    Put16(out, value.size());
    out += value;
}

std::size_t Get16(std::string_view data, std::size_t at)
{
    return (static_cast<unsigned char>(data[at]) << 8) | static_cast<unsigned char>(data[at + 1]);
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// A connected stream to the scheduler, or -1.
int Connect(const std::string &server)
{
    if (server.starts_with('/')) {
        sockaddr_un address{};
        if (server.size() >= sizeof address.sun_path)
            return -1;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, server.c_str(), server.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    std::string host = server, port = "631";
    if (const std::size_t colon = server.rfind(':');
        colon != std::string::npos && server.find(':') == colon) { // HOST:PORT, not a bare IPv6 address
        host = server.substr(0, colon);
        port = server.substr(colon + 1);
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo *at = found; at && fd < 0; at = at->ai_next) {
        fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd >= 0 && ::connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

} // namespace

std::string JobAttributesRequest(int job, std::string_view user)
{
    std::string body;
    body += '\x02'; // IPP 2.0
    body += '\x00';
    Put16(body, kGetJobAttributes);
    body.append("\x00\x00\x00\x01", 4); // request id
    body += static_cast<char>(kOperationGroup);
    PutAttribute(body, kCharset, "attributes-charset", "utf-8");
    PutAttribute(body, kLanguage, "attributes-natural-language", "en");
    PutAttribute(body, kUri, "job-uri", "ipp://localhost/jobs/" + std::to_string(job));
    PutAttribute(body, kName, "requesting-user-name", user);
    PutAttribute(body, kKeyword, "requested-attributes", "job-uuid");
    PutAttribute(body, kKeyword, "", "job-originating-host-name");
    body += static_cast<char>(kEndOfAttributes);
    return body;
}

std::optional<Attributes> ResponseAttributes(std::string_view response)
{
    if (response.size() < 9 || Get16(response, 2) >= 0x0100) // not a successful status
        return std::nullopt;
    Attributes values;
    std::string current;
    std::size_t at = 8;
    while (at < response.size()) {
        const auto tag = static_cast<unsigned char>(response[at++]);
        if (tag == kEndOfAttributes)
            return values;
        if (tag < 0x10) // the start of another group
            continue;
        if (at + 2 > response.size())
            break;
        const std::size_t nameLength = Get16(response, at);
        at += 2;
        if (at + nameLength + 2 > response.size())
            break;
        if (nameLength > 0) // an empty name continues the previous attribute
            current = std::string(response.substr(at, nameLength));
        at += nameLength;
        const std::size_t valueLength = Get16(response, at);
        at += 2;
        if (at + valueLength > response.size())
            break;
        values.emplace_back(current, response.substr(at, valueLength));
        at += valueLength;
    }
    return std::nullopt; // cut short
}

std::optional<JobOrigin> OriginIn(const Attributes &attributes)
{
    std::optional<JobOrigin> origin;
    bool uuidSeen = false;
    for (const auto &[name, value] : attributes) {
        if (name == "job-uuid")
            uuidSeen = true;
        if (name != "job-originating-host-name")
            continue;
        if (origin || value.empty())
            return std::nullopt; // one value only
        origin = JobOrigin{value, !uuidSeen};
    }
    return origin;
}

std::optional<JobOrigin> AskJobOrigin(const std::string &server, int job, std::string_view user, std::string &why)
{
    const std::string where = server.empty() ? "/run/cups/cups.sock" : server;
    const Fd fd(Connect(where));
    if (fd.get() < 0) {
        why = "cannot reach the print scheduler at " + where + ": " + std::strerror(errno);
        return std::nullopt;
    }
    const std::string body = JobAttributesRequest(job, user);
    const std::string request = "POST / HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/ipp\r\n"
                                "Connection: close\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t count = ::send(fd.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            why = "cannot ask the print scheduler: " + std::string(std::strerror(errno));
            return std::nullopt;
        }
        sent += static_cast<std::size_t>(count);
    }
    std::string response;
    char buffer[8192];
    for (;;) {
        pollfd entry{fd.get(), POLLIN, 0};
        if (::poll(&entry, 1, 30'000) == 0) {
            why = "the print scheduler did not answer within 30 s";
            return std::nullopt;
        }
        const ssize_t count = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        response.append(buffer, static_cast<std::size_t>(count));
        if (response.size() > 1 << 20)
            break;
    }
    const std::size_t headerEnd = response.find("\r\n\r\n");
    if (!response.starts_with("HTTP/1.1 200") || headerEnd == std::string::npos) {
        why = "the print scheduler refused to tell job " + std::to_string(job) + "'s origin: "
            + response.substr(0, response.find('\r'));
        return std::nullopt;
    }
    std::string_view ipp = std::string_view(response).substr(headerEnd + 4);
    // A chunked body: the IPP message is small, so in practice one chunk.
    if (response.find("Transfer-Encoding: chunked") < headerEnd) {
        const std::size_t line = ipp.find("\r\n");
        ipp = line == std::string_view::npos ? std::string_view() : ipp.substr(line + 2);
    }
    const auto attributes = ResponseAttributes(ipp);
    const auto origin = attributes ? OriginIn(*attributes) : std::nullopt;
    if (!origin)
        why = "the print scheduler did not tell job " + std::to_string(job) + "'s origin";
    return origin;
}

bool IsThisMachine(const std::string &host)
{
    if (host == "localhost" || host.ends_with(".localhost"))
        return true;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return false;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    ifaddrs *interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0)
        interfaces = nullptr;
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> own(interfaces, &::freeifaddrs);
    for (const addrinfo *at = found; at; at = at->ai_next) {
        if (at->ai_family == AF_INET) {
            const auto &v4 = reinterpret_cast<const sockaddr_in *>(at->ai_addr)->sin_addr;
            if ((ntohl(v4.s_addr) >> 24) == 127 || v4.s_addr == INADDR_ANY)
                return true;
        } else if (at->ai_family == AF_INET6) {
            const auto &v6 = reinterpret_cast<const sockaddr_in6 *>(at->ai_addr)->sin6_addr;
            if (IN6_IS_ADDR_LOOPBACK(&v6) || IN6_IS_ADDR_UNSPECIFIED(&v6))
                return true;
            if (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127)
                return true;
        }
        for (const ifaddrs *i = interfaces; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != at->ai_family)
                continue;
            if (at->ai_family == AF_INET
                && reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr
                    == reinterpret_cast<const sockaddr_in *>(at->ai_addr)->sin_addr.s_addr)
                return true;
            if (at->ai_family == AF_INET6
                && std::memcmp(&reinterpret_cast<const sockaddr_in6 *>(i->ifa_addr)->sin6_addr,
                               &reinterpret_cast<const sockaddr_in6 *>(at->ai_addr)->sin6_addr, 16)
                    == 0)
                return true;
        }
    }
    return false;
}

} // namespace corvane::fax
