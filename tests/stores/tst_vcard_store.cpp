// The vCard address book: what it reads of each card, in which order, and how
// it follows the files on disk as they change.
#include "qt_text.h"
#include "vcard_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray Card(const QByteArray &body)
{
    return "BEGIN:VCARD\r\n" + body + "END:VCARD\r\n";
}

void Write(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(contents), contents.size());
}

// "class last|first|company"
QString Listed(ContactsFolder &folder, qint32 position)
{
    const ContactItem item = folder.Item(position);
    return QStringLiteral("%1 %2|%3|%4").arg(item.itemClass).arg(ToQString(item.lastName), ToQString(item.firstName), ToQString(item.companyName));
}

// "business|home|other"
QString Faxes(ContactsFolder &folder, qint32 position)
{
    return ToQString(folder.FaxNumber(position, FaxKind::Business)) + u'|' + ToQString(folder.FaxNumber(position, FaxKind::Home)) + u'|'
        + ToQString(folder.FaxNumber(position, FaxKind::Other));
}

QStringList LastNames(ContactsFolder &folder)
{
    QStringList names;
    for (qint32 position = 1, count = folder.Count(); position <= count; ++position)
        names << ToQString(folder.Item(position).lastName);
    return names;
}

std::unique_ptr<ContactsFolder> Open(const QString &path, bool mustExist = true)
{
    return VCardStore(path, mustExist).OpenDefaultContactsFolder();
}
} // namespace

class TestVCardStore : public QObject {
    Q_OBJECT
private slots:
    void init() { m_dir.emplace(); }

    void readsNamesAndFaxNumbersOfEveryVersion_data();
    void readsNamesAndFaxNumbersOfEveryVersion();
    void positionsRunOverFilesByNameThenCardsInFileOrder();
    void singleFileIsWatchedThroughItsFolder();
    void manyCardsKeepTheirOrder_data();
    void manyCardsKeepTheirOrder();
    void eachPositionStaysWithItsContact();
    void missingPathFailsOrReadsEmptyUntilItAppears();
    void badContentLosesNothingElse_data();
    void badContentLosesNothingElse();
    void hugeLinesAndFilesStayBounded();
    void unreadableFilesAreSkippedUntilReadable();
    void changesLostToAFullEventQueueAreStillSeen();
    void symlinkedFileFollowsItsTarget();

private:
    QString Path(const QString &name) const { return m_dir->filePath(name); }

    std::optional<QTemporaryDir> m_dir;
};

void TestVCardStore::readsNamesAndFaxNumbersOfEveryVersion_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("faxes");

    QTest::addRow("2.1 quoted-printable windows-1252, soft line break, bare types")
        << QByteArray("VERSION:2.1\r\n"
                      "N;CHARSET=windows-1252;ENCODING=QUOTED-PRINTABLE:M=FCller;J=E9r=\r\n=F4me\r\n"
                      "ORG;ENCODING=QUOTED-PRINTABLE;CHARSET=WINDOWS-1252:=80 Caf=E9\r\n"
                      "TEL;WORK;FAX:+49 30 1234\r\n"
                      "TEL;FAX;HOME;ENCODING=8BIT:+49 30 5678\r\n")
        << u"40 Müller|Jérôme|€ Café"_s << u"+49 30 1234|+49 30 5678|"_s;
    QTest::addRow("2.1 raw ISO-8859-1 and windows-1252")
        << QByteArray("N;CHARSET=ISO-8859-1:Gr\xfcn;Zo\xeb\r\n"
                      "ORG;CHARSET=Windows-1252:\x80uro \xc9" "cole\r\n"
                      "TEL;PREF;FAX:+33 1 2345\r\n")
        << u"40 Grün|Zoë|€uro École"_s << u"||+33 1 2345"_s;
    QTest::addRow("undeclared 8-bit text reads as windows-1252")
        << QByteArray("N:M\xfcller;\x93Q\x94\r\nORG;ENCODING=QUOTED-PRINTABLE:Caf=E9\r\n")
        << u"40 Müller|“Q”|Café"_s << u"||"_s;
    QTest::addRow("3.0 type lists, escapes, groups")
        << QByteArray("VERSION:3.0\r\nN:\xc3\x98rsted;Zo\xc3\xab;;;\r\nORG:Acme\\, Inc.;Sales\r\n"
                      "TEL;TYPE=WORK,FAX:+1 555 0100\r\n"
                      "TEL;TYPE=\"fax,home\":+1 555 0101\r\n"
                      "item1.TEL;type=fax;type=other:+1 555 0102\r\n")
        << u"40 Ørsted|Zoë|Acme, Inc."_s << u"+1 555 0100|+1 555 0101|+1 555 0102"_s;
    QTest::addRow("folded lines with LF endings")
        << QByteArray("n:Van der\n  Berg;Jan\ntel;type=fax\n ,work:+31 20\n  555\n")
        << u"40 Van der Berg|Jan|"_s << u"+31 20 555||"_s;
    QTest::addRow("4.0 tel URIs, values as stored")
        << QByteArray("VERSION:4.0\r\nN:Doe;Jane;;;\r\n"
                      "TEL;VALUE=uri;TYPE=\"fax,work\":tel:+1-555-0100;ext=7\r\n"
                      "TEL;TYPE=fax,home;VALUE=uri:TEL:+1-555-0101\r\n"
                      "TEL;TYPE=fax:  +1 555  0102  \r\n"
                      "TEL;TYPE=\"voice,work\":tel:+1-555-0199\r\n")
        << u"40 Doe|Jane|"_s << u"+1-555-0100;ext=7|+1-555-0101|  +1 555  0102  "_s;
    QTest::addRow("first non-empty number of a kind wins")
        << QByteArray("TEL;TYPE=FAX:\r\nTEL;TYPE=FAX,WORK,HOME:1\r\nTEL;TYPE=FAX,WORK:2\r\n"
                      "TEL;TYPE=FAX,OTHER,WORK:3\r\nTEL;TYPE=HOME:4\r\n")
        << u"40 ||"_s << u"1|1|3"_s;
    QTest::addRow("4.0 group") << QByteArray("VERSION:4.0\r\nKIND:Group\r\nFN:Team\r\nN:Team;;;;\r\n")
                               << u"69 Team||"_s << u"||"_s;
    QTest::addRow("Evolution list") << QByteArray("N:List;;;;\r\nX-EVOLUTION-LIST:TRUE\r\n")
                                    << u"69 List||"_s << u"||"_s;
}

void TestVCardStore::readsNamesAndFaxNumbersOfEveryVersion()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, listed);
    QFETCH(QString, faxes);
    Write(Path("card.vcf"), Card(body));

    const auto folder = Open(m_dir->path());
    QCOMPARE(folder->Count(), 1);
    QCOMPARE(Listed(*folder, 1), listed);
    QCOMPARE(Faxes(*folder, 1), faxes);
}

void TestVCardStore::positionsRunOverFilesByNameThenCardsInFileOrder()
{
    Write(Path("b.vcf"), "begin:vcard\nN:B\nend:vcard\n" + Card("KIND:group\r\nN:Group\r\n"));
    Write(Path("a.vcf"), Card("N:A\r\n"));
    Write(Path("C.VCF"), Card("N:C\r\n"));
    Write(Path("z.vcf"), Card("N:Z\r\nTEL;TYPE=FAX:9\r\n"));
    Write(Path(u"ä.vcf"_s), Card("N:\xc3\x84\r\n"));
    Write(Path("notes.txt"), Card("N:Text\r\n"));
    Write(Path("a.vcf.bak"), Card("N:Backup\r\n"));
    QVERIFY(QDir(m_dir->path()).mkdir("folder.vcf"));

    const auto folder = Open(m_dir->path());
    QCOMPARE(LastNames(*folder), QStringList({"C", "A", "B", "Group", "Z", u"Ä"_s}));
    QCOMPARE(folder->Item(4).itemClass, int(DistributionListClass));
    QCOMPARE(Faxes(*folder, 5), u"||9"_s);
    QVERIFY_THROWS_EXCEPTION(StoreError, folder->Item(0));
    QVERIFY_THROWS_EXCEPTION(StoreError, folder->Item(7));
    QVERIFY_THROWS_EXCEPTION(StoreError, ToQString(folder->FaxNumber(7, FaxKind::Other)));
}

void TestVCardStore::singleFileIsWatchedThroughItsFolder()
{
    Write(Path("book.txt"), Card("N:One\r\n") + Card("N:Two\r\nTEL;TYPE=FAX:2\r\n"));
    Write(Path("other.vcf"), Card("N:Other\r\n"));
    const auto folder = Open(Path("book.txt"));
    QCOMPARE(LastNames(*folder), QStringList({"One", "Two"}));

    // As editors save: a new file renamed over the old one.
    Write(Path("book.txt.new"), Card("N:Two\r\nTEL;TYPE=FAX:22\r\n"));
    QVERIFY(::rename(qPrintable(Path("book.txt.new")), qPrintable(Path("book.txt"))) == 0);
    // Each listed position stays with its contact: One has gone, Two is read afresh.
    QCOMPARE(Faxes(*folder, 2), u"||22"_s);
    QVERIFY_THROWS_EXCEPTION(StoreError, folder->FaxNumber(1, FaxKind::Other));
    QCOMPARE(LastNames(*folder), QStringList({"Two"}));
}

void TestVCardStore::manyCardsKeepTheirOrder_data()
{
    QTest::addColumn<int>("cards");
    QTest::addColumn<bool>("filePerCard");
    QTest::addRow("one file of megabytes, read in pieces") << 50000 << false;
    QTest::addRow("a file per card, read on every core") << 2000 << true;
}

void TestVCardStore::manyCardsKeepTheirOrder()
{
    QFETCH(int, cards);
    QFETCH(bool, filePerCard);
    QByteArray contents;
    for (int i = 0; i < cards; ++i) {
        // Some cards lack their END:VCARD.
        const QByteArray number = QByteArray::number(i);
        const QByteArray card =
            "begin:vcard\nN:" + number + "\nTEL;TYPE=FAX:\n " + number + (i % 997 ? "\nEND:VCARD\n" : "\n");
        if (filePerCard)
            Write(Path(u"%1.vcf"_s.arg(i, 5, 10, QLatin1Char('0'))), card);
        else
            contents += card;
    }
    if (!filePerCard)
        Write(Path("big.vcf"), contents);

    const auto folder = Open(m_dir->path());
    QCOMPARE(folder->Count(), cards);
    for (int i = 0; i < cards; ++i) {
        const QString number = QString::number(i);
        const QString read = ToQString(folder->Item(i + 1).lastName) + u'/' + ToQString(folder->FaxNumber(i + 1, FaxKind::Other));
        if (read != number + u'/' + number)
            QFAIL(qPrintable("card " + number + " reads as " + read));
    }
}

void TestVCardStore::eachPositionStaysWithItsContact()
{
    Write(Path("a.vcf"), Card("N:A\r\nTEL;TYPE=FAX:111\r\n"));
    Write(Path("b.vcf"), Card("N:B\r\nTEL;TYPE=FAX:222\r\n"));
    const auto folder = Open(m_dir->path());
    QCOMPARE(folder->Count(), 2);

    // The same size: where file times are coarse, only the change event tells.
    Write(Path("a.vcf"), Card("N:A\r\nTEL;TYPE=FAX:333\r\n"));
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Other)), u"333"_s);

    // A file that sorts first arrives: the listed positions still name A
    // and B, never Zero, whose number must not go out under A's name.
    Write(Path("0.vcf"), Card("N:Zero\r\nTEL;TYPE=FAX:000\r\n"));
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Other)), u"333"_s);
    QCOMPARE(ToQString(folder->FaxNumber(2, FaxKind::Other)), u"222"_s);
    QCOMPARE(ToQString(folder->Item(1).lastName), u"A"_s); // as the last Count() saw it

    // A contact gone since the listing is an error, not its successor's number.
    QVERIFY(QFile::remove(Path("0.vcf")));
    QVERIFY(QFile::remove(Path("b.vcf")));
    QVERIFY_THROWS_EXCEPTION(StoreError, folder->FaxNumber(2, FaxKind::Other));
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Other)), u"333"_s);
    QCOMPARE(LastNames(*folder), QStringList({"A"}));
}

void TestVCardStore::missingPathFailsOrReadsEmptyUntilItAppears()
{
    const QString path = Path("contacts");
    try {
        Open(path);
        QFAIL("opened a missing address book that must exist");
    } catch (const StoreError &error) {
        const QString message = QString::fromStdString(error.what());
        QVERIFY2(message.contains(path) && message.contains("no such file or folder"), error.what());
    }

    const auto folder = Open(path, false);
    QCOMPARE(folder->Count(), 0);
    QVERIFY_THROWS_EXCEPTION(StoreError, folder->Item(1));

    QVERIFY(QDir().mkdir(path));
    Write(path + "/a.vcf", Card("N:A\r\n"));
    QCOMPARE(LastNames(*folder), QStringList({"A"}));

    // A folder moved away is no longer read; what then stands at the path is.
    QVERIFY(QDir().rename(path, path + ".old"));
    QCOMPARE(folder->Count(), 0);
    QVERIFY(QDir().mkdir(path));
    Write(path + "/b.vcf", Card("N:B\r\n"));
    QCOMPARE(LastNames(*folder), QStringList({"B"}));

    QVERIFY(QDir(path).removeRecursively());
    QCOMPARE(folder->Count(), 0);

    const auto file = Open(Path("book.vcf"), false);
    QCOMPARE(file->Count(), 0);
    Write(Path("book.vcf"), Card("N:Book\r\n"));
    QCOMPARE(LastNames(*file), QStringList({"Book"}));
}

void TestVCardStore::badContentLosesNothingElse_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("lastNames");

    QTest::addRow("empty file") << QByteArray() << QStringList({"Good"});
    QTest::addRow("not a vCard") << QByteArray("Name: Someone\nFax: 555\n") << QStringList({"Good"});
    QTest::addRow("binary") << QByteArray("\x00\xff\xfe\x01\r\n\x80", 6) << QStringList({"Good"});
    QTest::addRow("END without BEGIN")
        << "N:Stray\nEND:VCARD\n" + Card("N:After\r\n") << QStringList({"After", "Good"});
    QTest::addRow("no END at end of file keeps what was read")
        << QByteArray("BEGIN:VCARD\nN:Open\nTEL;TYPE=FAX:1") << QStringList({"Open", "Good"});
    QTest::addRow("no END before the next card keeps what was read")
        << "BEGIN:VCARD\nN:Open\n" + Card("N:Next\r\n") << QStringList({"Open", "Next", "Good"});
    QTest::addRow("soft line break cannot swallow END")
        << "BEGIN:VCARD\nN;ENCODING=QUOTED-PRINTABLE:Cut=\nEND:VCARD\n" + Card("N:Next\r\n")
        << QStringList({"Cut", "Next", "Good"});
    QTest::addRow("lines without a value are skipped")
        << Card("GARBAGE\r\nTEL;TYPE=\"fax:1\r\nN:Kept\r\n") << QStringList({"Kept", "Good"});
    QTest::addRow("NUL and invalid UTF-8") << Card(QByteArray("N:A\0B;\xff\r\n", 9)) << QStringList({"AB", "Good"});
}

void TestVCardStore::badContentLosesNothingElse()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, lastNames);
    Write(Path("bad.vcf"), contents);
    Write(Path("good.vcf"), Card("N:Good\r\nTEL;TYPE=FAX:1\r\n"));

    const auto folder = Open(m_dir->path());
    QCOMPARE(LastNames(*folder), lastNames);
    QCOMPARE(ToQString(folder->FaxNumber(folder->Count(), FaxKind::Other)), u"1"_s);
}

void TestVCardStore::hugeLinesAndFilesStayBounded()
{
    const QByteArray longNumber(1024 * 1024, '7');
    const QByteArray photo(10 * 1024 * 1024, 'A');
    Write(Path("a.vcf"), Card("N:Big\r\nPHOTO;ENCODING=b:" + photo + "\r\nTEL;TYPE=FAX:" + longNumber
                              + "\r\nTEL;TYPE=FAX,WORK:1\r\n")
              + Card("N:After\r\n"));
    // Past 64 MiB a file is not read. A hole spares the disk.
    QFile capped(Path("b.vcf"));
    QVERIFY(capped.open(QIODevice::WriteOnly));
    capped.write(Card("N:First\r\n"));
    QVERIFY(capped.seek(65 * 1024 * 1024));
    capped.write("\n" + Card("N:Beyond\r\n"));
    capped.close();

    const auto folder = Open(m_dir->path());
    QCOMPARE(LastNames(*folder), QStringList({"Big", "After", "First"}));
    QCOMPARE(Faxes(*folder, 1), u"1||"_s);
}

void TestVCardStore::unreadableFilesAreSkippedUntilReadable()
{
    Write(Path("a.vcf"), Card("N:A\r\n"));
    Write(Path("b.vcf"), Card("N:B\r\n"));
    QVERIFY(QFile::setPermissions(Path("b.vcf"), {}));
    if (QFile(Path("b.vcf")).open(QIODevice::ReadOnly))
        QSKIP("file permissions do not bind this user");

    const auto folder = Open(m_dir->path());
    QCOMPARE(LastNames(*folder), QStringList({"A"}));
    QVERIFY(QFile::setPermissions(Path("b.vcf"), QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(LastNames(*folder), QStringList({"A", "B"}));

    QVERIFY(QFile::setPermissions(m_dir->path(), {}));
    QVERIFY_THROWS_EXCEPTION(StoreError, Open(m_dir->path()));
    QCOMPARE(folder->Count(), 0);
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestVCardStore::changesLostToAFullEventQueueAreStillSeen()
{
    QFile limitFile("/proc/sys/fs/inotify/max_queued_events");
    const int queueLimit = limitFile.open(QIODevice::ReadOnly) ? limitFile.readAll().trimmed().toInt() : 0;
    if (queueLimit <= 0 || queueLimit > 1 << 17)
        QSKIP("no modest inotify queue limit to overrun");
    Write(Path("edit.vcf"), Card("N:Edit\r\nTEL;TYPE=FAX:1\r\n"));
    Write(Path("old.vcf"), Card("N:Old\r\n"));
    Write(Path("noise-1"), {});
    Write(Path("noise-2"), {});
    const auto folder = Open(m_dir->path());
    QCOMPARE(folder->Count(), 2);

    // Alternating names keep the kernel from merging the events.
    const QByteArray noise[] = {QFile::encodeName(Path("noise-1")), QFile::encodeName(Path("noise-2"))};
    for (int i = 0; i < queueLimit; ++i) {
        for (const QByteArray &path : noise)
            QVERIFY(::chmod(path.constData(), i % 2 ? 0600 : 0644) == 0);
    }
    Write(Path("edit.vcf"), Card("N:Edit\r\nTEL;TYPE=FAX:2\r\n"));
    Write(Path("new.vcf"), Card("N:New\r\n"));
    QVERIFY(QFile::remove(Path("old.vcf")));
    QCOMPARE(ToQString(folder->FaxNumber(1, FaxKind::Other)), u"2"_s);
    QCOMPARE(LastNames(*folder), QStringList({"Edit", "New"}));
}

void TestVCardStore::symlinkedFileFollowsItsTarget()
{
    const QString target = Path("target");
    Write(target, Card("N:Linked\r\nTEL;TYPE=FAX:1\r\n"));
    QVERIFY(QDir().mkdir(Path("contacts")));
    QVERIFY(QFile::link(target, Path("contacts/link.vcf")));
    const auto folder = Open(Path("contacts"));
    QCOMPARE(folder->Count(), 1);
    QCOMPARE(Faxes(*folder, 1), u"||1"_s);

    Write(target, Card("N:Linked\r\nTEL;TYPE=FAX:12\r\n"));
    QCOMPARE(Faxes(*folder, 1), u"||12"_s);
}

QTEST_GUILESS_MAIN(TestVCardStore)
#include "tst_vcard_store.moc"
