#include "allowed_servers.h"

#include <QDir>
#include <QFile>

#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {
std::vector<PeerAddress> Resolve(const std::string &host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    std::vector<PeerAddress> addresses;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo *entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            std::array<uint8_t, 4> ipv4;
            std::memcpy(ipv4.data(), &reinterpret_cast<const sockaddr_in *>(entry->ai_addr)->sin_addr, 4);
            addresses.push_back(MappedIpv4(ipv4));
        } else if (entry->ai_family == AF_INET6) {
            PeerAddress ipv6;
            std::memcpy(ipv6.data(), &reinterpret_cast<const sockaddr_in6 *>(entry->ai_addr)->sin6_addr, 16);
            addresses.push_back(ipv6);
        }
    }
    freeaddrinfo(found);
    return addresses;
}
} // namespace

PeerFilter AllowedFaxServers(const QProcessEnvironment &environment)
{
    if (environment.contains(QStringLiteral("CORVANE_TESK_FAX_SERVERS")))
        return PeerFilter::Parse(environment.value(QStringLiteral("CORVANE_TESK_FAX_SERVERS")).toStdString(), Resolve);
    QString configHome = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (configHome.isEmpty())
        configHome = environment.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.config");
    QFile list(configHome + QStringLiteral("/corvane-tesk/fax-servers"));
    if (!list.exists())
        return {};
    if (!list.open(QIODevice::ReadOnly))
        throw BadPeerList(list.fileName().toStdString() + ": " + list.errorString().toStdString());
    try {
        return PeerFilter::Parse(list.readAll().toStdString(), Resolve);
    } catch (const BadPeerList &error) {
        throw BadPeerList(list.fileName().toStdString() + ": " + error.what());
    }
}
