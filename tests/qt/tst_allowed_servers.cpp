// Where the list of fax servers that may ask comes from.
#include "allowed_servers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestAllowedServers : public QObject {
    Q_OBJECT
private slots:
    void theVariableComesFirstThenTheFile();
    void badListsSayWhereAndWhat();
};

namespace {
PeerAddress At(const char *text)
{
    return *ParsePeerAddress(text);
}

void WriteList(const QTemporaryDir &home, const QByteArray &list)
{
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config/corvane-tesk")));
    QFile file(home.filePath(QStringLiteral("config/corvane-tesk/fax-servers")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(list);
}
} // namespace

void TestAllowedServers::theVariableComesFirstThenTheFile()
{
    QTemporaryDir home;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    QVERIFY(AllowedFaxServers(environment).Allows(At("203.0.113.9"))); // no list: everyone

    WriteList(home, "# the fax server\n192.0.2.5\nlocalhost\n");
    const PeerFilter fromFile = AllowedFaxServers(environment);
    QVERIFY(fromFile.Allows(At("192.0.2.5")));
    QVERIFY(fromFile.Allows(At("127.0.0.1"))); // looked up
    QVERIFY(!fromFile.Allows(At("203.0.113.9")));

    environment.insert(QStringLiteral("CORVANE_TESK_FAX_SERVERS"), QStringLiteral("203.0.113.0/24"));
    const PeerFilter fromVariable = AllowedFaxServers(environment);
    QVERIFY(fromVariable.Allows(At("203.0.113.9")));
    QVERIFY(!fromVariable.Allows(At("192.0.2.5")));
}

void TestAllowedServers::badListsSayWhereAndWhat()
{
    QTemporaryDir home;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    WriteList(home, "192.0.2.5/40\n");
    try {
        AllowedFaxServers(environment);
        QFAIL("a bad list was taken");
    } catch (const BadPeerList &error) {
        const QString said = QString::fromUtf8(error.what());
        QVERIFY2(said.contains(QStringLiteral("fax-servers")) && said.contains(QStringLiteral("192.0.2.5/40")),
                 qPrintable(said));
    }
}

QTEST_GUILESS_MAIN(TestAllowedServers)
#include "tst_allowed_servers.moc"
