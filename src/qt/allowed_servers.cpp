#include "allowed_servers.h"

#include "host_addresses.h"

#include <QDir>
#include <QFile>

PeerFilter AllowedFaxServers(const QProcessEnvironment &environment)
{
    if (environment.contains(QStringLiteral("CORVANE_TESK_FAX_SERVERS")))
        return PeerFilter::Parse(environment.value(QStringLiteral("CORVANE_TESK_FAX_SERVERS")).toStdString(), ResolveHost);
    QString configHome = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (configHome.isEmpty())
        configHome = environment.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.config");
    QFile list(configHome + QStringLiteral("/corvane-tesk/fax-servers"));
    if (!list.exists())
        return {};
    if (!list.open(QIODevice::ReadOnly))
        throw BadPeerList(list.fileName().toStdString() + ": " + list.errorString().toStdString());
    try {
        return PeerFilter::Parse(list.readAll().toStdString(), ResolveHost);
    } catch (const BadPeerList &error) {
        throw BadPeerList(list.fileName().toStdString() + ": " + error.what());
    }
}
