// The vCard reader against hostile and unusual files: the work it does, the
// line ends and text encodings it reads, what it hands the vCard library,
// which cards it skips, and the cap on what one address book lists.
#include "qt_text.h"
#include "vcard_parse.h"
#include "vcard_store.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray Card(const QByteArray &body, const QByteArray &lineEnd = "\r\n")
{
    return "BEGIN:VCARD" + lineEnd + body + "END:VCARD" + lineEnd;
}

// "last|first|company|business|home|other" for each card.
QStringList Read(const std::vector<ParsedCard> &cards)
{
    QStringList read;
    for (const ParsedCard &card : cards) {
        const ContactItem item = card.Item();
        read << QStringList({ToQString(item.lastName), ToQString(item.firstName), ToQString(item.companyName), card.FaxNumber(FaxKind::Business),
                             card.FaxNumber(FaxKind::Home), card.FaxNumber(FaxKind::Other)})
                    .join(u'|');
    }
    return read;
}

void Write(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(contents), contents.size());
}

QStringList LastNames(ContactsFolder &folder)
{
    QStringList names;
    for (qint32 position = 1, count = folder.Count(); position <= count; ++position)
        names << ToQString(folder.Item(position).lastName);
    return names;
}

// What the code under way writes to standard error.
class StderrCapture {
public:
    StderrCapture()
    {
        if (!m_file.open())
            qFatal("no temporary file for standard error");
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { Restore(); }
    // Ends the capture and returns what was written.
    QByteArray Take()
    {
        Restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void Restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

QByteArray NamedCards(int first, int count, const QByteArray &lineEnd = "\n")
{
    QByteArray cards;
    for (int i = first; i < first + count; ++i)
        cards += "BEGIN:VCARD" + lineEnd + "N:" + QByteArray::number(i) + lineEnd + "TEL;TYPE=FAX:" + QByteArray::number(i)
            + lineEnd + "END:VCARD" + lineEnd;
    return cards;
}

QStringList Numbers(int first, int count)
{
    QStringList numbers;
    for (int i = first; i < first + count; ++i)
        numbers << QString::number(i);
    return numbers;
}
} // namespace

class TestVCardReader : public QObject {
    Q_OBJECT
private slots:
    void workIsLinearAndCappedWhereBytesArrive_data();
    void workIsLinearAndCappedWhereBytesArrive();
    void everyLineEndReadsAlike_data();
    void everyLineEndReadsAlike();
    void libraryIsNeverHandedWhatItLeaks_data();
    void libraryIsNeverHandedWhatItLeaks();
    void unicodeFilesWithAByteOrderMarkRead_data();
    void unicodeFilesWithAByteOrderMarkRead();
    void bigFilesReadInPiecesAsWhole_data();
    void bigFilesReadInPiecesAsWhole();
    void cardsWithNothingToListAreSkipped_data();
    void cardsWithNothingToListAreSkipped();
    void addressBookListsItsFirstCardsUpToTheCap();
    void capFollowsChangesAcrossFiles();
};

void TestVCardReader::workIsLinearAndCappedWhereBytesArrive_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("read");

    const QByteArray parameters = "X-P=" + QByteArray(16 * 1024, 'p') + ";ENCODING=QUOTED-PRINTABLE";
    QByteArray softBreaks;
    for (int i = 0; i < 2048; ++i)
        softBreaks += "=\r\n";
    const QByteArray after = Card("N:After\r\n");
    // The name's header is read again for no line: it stays within the cap
    // and is kept, the soft line breaks joined.
    QTest::addRow("long parameters, then many soft line breaks, kept")
        << Card("N;" + parameters + ":Long=\r\n" + softBreaks + "Name\r\n") + after
        << QStringList({u"LongName|||||"_s, u"After|||||"_s});
    QTest::addRow("long parameters, then many soft line breaks, not read")
        << Card("NOTE;" + parameters + ":x=\r\n" + softBreaks + "\r\nN:Kept\r\n") + after
        << QStringList({u"Kept|||||"_s, u"After|||||"_s});
    QByteArray folds;
    for (int i = 0; i < 8192; ++i)
        folds += " 12345678=\r\n";
    // Past 64 KiB the property is dropped as its lines arrive.
    QTest::addRow("property past the cap is dropped")
        << Card("N;" + parameters + ":=\r\n" + folds + "\r\nTEL;TYPE=FAX:1\r\n") + after
        << QStringList({u"|||||1"_s, u"After|||||"_s});
    QByteArray numbers;
    for (int i = 0; i < 4096; ++i)
        numbers += "TEL;TYPE=VOICE:" + QByteArray(100, '5') + "\r\n";
    // What a card hands the library is capped: the fax number comes too late.
    QTest::addRow("card past its cap keeps its first lines")
        << Card("N:Many\r\n" + numbers + "TEL;TYPE=FAX:1\r\n") + after
        << QStringList({u"Many|||||"_s, u"After|||||"_s});
}

void TestVCardReader::workIsLinearAndCappedWhereBytesArrive()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, read);
    ReadTrace trace;
    qsizetype largestCard = 0;
    trace.libraryText = [&](QByteArrayView text) { largestCard = std::max(largestCard, text.size()); };

    QCOMPARE(Read(ParseVCards(contents, std::numeric_limits<qsizetype>::max(), &trace)), read);
    // Each byte is looked at a few times at most: splitting the lines,
    // reading a property's header, building the library's line.
    QVERIFY2(trace.bytesExamined <= 4 * quint64(contents.size()),
             qPrintable(u"%1 bytes examined for %2 read"_s.arg(trace.bytesExamined).arg(contents.size())));
    QVERIFY2(largestCard <= 256 * 1024 + 64, qPrintable(u"the library got a card of %1 bytes"_s.arg(largestCard)));
}

void TestVCardReader::everyLineEndReadsAlike_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addRow("CR LF") << QByteArray("\r\n");
    QTest::addRow("LF") << QByteArray("\n");
    QTest::addRow("CR, as old Mac programs write") << QByteArray("\r");
}

void TestVCardReader::everyLineEndReadsAlike()
{
    QFETCH(QByteArray, lineEnd);
    QByteArray body = "VERSION:2.1\n"
                      "N;CHARSET=windows-1252;ENCODING=QUOTED-PRINTABLE:M=FCller;J=E9r=\n=F4me\n"
                      "ORG:Acme\n"
                      "TEL;TYPE=FAX,\n WORK:+49 30\n  1234\n"
                      "TEL;HOME;FAX:5678\n";
    body.replace("\n", lineEnd);
    const QByteArray contents = Card(body, lineEnd) + Card("N:Second" + lineEnd, lineEnd) + "BEGIN:VCARD" + lineEnd
        + "N:Open";
    QCOMPARE(Read(ParseVCards(contents)),
             QStringList({u"Müller|Jérôme|Acme|+49 30 1234|5678|"_s, u"Second|||||"_s, u"Open|||||"_s}));
}

void TestVCardReader::libraryIsNeverHandedWhatItLeaks_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("lastName");

    QTest::addRow("CR inside a value") << Card("N:a\rb.c\r\nTEL;TYPE=FAX:1\r2\r\n") << u"a"_s;
    QTest::addRow("LF inside a CR LF card") << Card("N:a\nb\r\n") << u"a"_s;
    QTest::addRow("CR inside a quoted parameter") << Card("N;X=\"a\rb\":x\r\nN:c\r\n") << u"c"_s;
    QTest::addRow("CR at the end of a quoted-printable soft break")
        << Card("N;ENCODING=QUOTED-PRINTABLE:a=\r\rb\r\n") << u"a"_s;
    // The library leaks a parameter whose value holds an '=' outside quotes,
    // or whose name holds a comma.
    QTest::addRow("'=' inside a parameter value")
        << Card("N;TYPE=WORK=FAX:c\r\nTEL;TYPE=FAX;X=\"a\"=b;Y=\"=\":1\r\n") << u"c"_s;
    QTest::addRow("comma inside a parameter name") << Card("N;TY,PE=X:c\r\n") << u"c"_s;
    // Charsets whose bytes decode to line ends, where this Qt knows them.
    if (QStringDecoder("UTF-7").isValid())
        QTest::addRow("UTF-7 CR") << Card("N;CHARSET=UTF-7:a+AA0-b+AOk-\r\n") << u"a\rb\u00e9"_s;
    if (QStringDecoder("IBM037").isValid())
        QTest::addRow("EBCDIC LF") << Card("N;CHARSET=IBM037:\x81\x25\x82\r\n") << u"a b"_s;
}

void TestVCardReader::libraryIsNeverHandedWhatItLeaks()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, lastName);
    ReadTrace trace;
    QByteArrayList handed;
    trace.libraryText = [&](QByteArrayView text) { handed << text.toByteArray(); };
    const std::vector<ParsedCard> cards = ParseVCards(contents, std::numeric_limits<qsizetype>::max(), &trace);

    // The library leaks every value that holds a CR or LF of its own, and
    // every parameter whose value holds an '=' outside quotes.
    QVERIFY(!handed.isEmpty());
    for (const QByteArray &text : handed) {
        for (const QByteArray &line : text.split('\n')) {
            const QByteArray header = line.left(line.indexOf(':'));
            for (const QByteArray &parameter : header.split(';')) {
                QVERIFY2(!parameter.left(parameter.indexOf('=')).contains(',') || !parameter.contains('='),
                         line.constData());
                const QByteArray value = parameter.mid(parameter.indexOf('=') + 1);
                bool quoted = false;
                for (char c : value) {
                    quoted ^= c == '"';
                    QVERIFY2(parameter.indexOf('=') < 0 || c != '=' || quoted, line.constData());
                }
            }
        }
        for (qsizetype at = 0; at < text.size(); ++at) {
            const bool loneCr = text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n');
            const bool loneLf = text[at] == '\n' && (at == 0 || text[at - 1] != '\r');
            QVERIFY2(!loneCr && !loneLf, qPrintable("lone line end at " + QByteArray::number(at) + " of "
                                                    + text.toPercentEncoding(" :;=")));
        }
    }
    QCOMPARE(cards.size(), size_t(1));
    QCOMPARE(ToQString(cards.front().Item().lastName), lastName);
}

void TestVCardReader::unicodeFilesWithAByteOrderMarkRead_data()
{
    QTest::addColumn<QByteArray>("contents");
    const QString text = u"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Müller;Zoë\r\nORG:漢字 😀\r\nTEL;TYPE=FAX,WORK:+1 555\r\n"
                         u"END:VCARD\r\nBEGIN:VCARD\r\nN:Two\r\nEND:VCARD\r\n"_s;
    QByteArray le(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QByteArray be = le;
    for (qsizetype at = 0; at + 1 < be.size(); at += 2)
        std::swap(be[at], be[at + 1]);
    QTest::addRow("UTF-16 LE") << "\xff\xfe" + le;
    QTest::addRow("UTF-16 BE") << "\xfe\xff" + be;
    QTest::addRow("UTF-8") << "\xef\xbb\xbf" + text.toUtf8();
    QTest::addRow("UTF-8, files joined, each with its mark")
        << "\xef\xbb\xbf" + text.first(text.indexOf(u"BEGIN:VCARD\r\nN:Two"_s)).toUtf8()
            + "\xef\xbb\xbf" "BEGIN:VCARD\r\nN:Two\r\nEND:VCARD\r\n";
}

void TestVCardReader::unicodeFilesWithAByteOrderMarkRead()
{
    QFETCH(QByteArray, contents);
    QCOMPARE(Read(ParseVCards(contents)), QStringList({u"Müller|Zoë|漢字 😀|+1 555||"_s, u"Two|||||"_s}));
}

void TestVCardReader::bigFilesReadInPiecesAsWhole_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<bool>("utf16");
    QTest::addRow("CR") << QByteArray("\r") << false;
    QTest::addRow("CR LF") << QByteArray("\r\n") << false;
    QTest::addRow("UTF-16 LE, LF") << QByteArray("\n") << true;
}

void TestVCardReader::bigFilesReadInPiecesAsWhole()
{
    QFETCH(QByteArray, lineEnd);
    QFETCH(bool, utf16);
    const int cards = 60000;
    QByteArray contents = NamedCards(0, cards, lineEnd);
    if (utf16) {
        const QString text = QString::fromUtf8(contents);
        contents = "\xff\xfe" + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    }
    // Each piece starts at a card of its own, also where lines end in CR.
    QByteArray converted;
    const std::vector<QByteArrayView> pieces = SplitBetweenCards(AsUtf8Text(contents, converted), 256 * 1024);
    QVERIFY2(pieces.size() > 4, qPrintable(QString::number(pieces.size())));
    for (size_t i = 1; i < pieces.size(); ++i)
        QVERIFY(pieces[i].startsWith("BEGIN:VCARD"));

    // And the folder store reads it so, in 1 MiB pieces.
    QTemporaryDir dir;
    Write(dir.filePath("big.vcf"), contents);
    const auto folder = VCardStore(dir.path(), true).OpenDefaultContactsFolder();
    QCOMPARE(LastNames(*folder), Numbers(0, cards));
    QCOMPARE(ToQString(folder->FaxNumber(cards, FaxKind::Other)), QString::number(cards - 1));
}

void TestVCardReader::cardsWithNothingToListAreSkipped_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("read");
    QTest::addColumn<int>("libraryCards");

    QTest::addRow("bare BEGIN lines") << QByteArray("BEGIN:VCARD\r\n").repeated(10000) << QStringList() << 0;
    QTest::addRow("cards without a line the reader keeps")
        << Card("VERSION:3.0\r\nFN:Display only\r\nEMAIL:a@b\r\n").repeated(100) << QStringList() << 0;
    QTest::addRow("empty or blank name, no company, no fax number")
        << Card("N:;;;;\r\n") + Card("N: ; \t\r\nORG: \r\nTEL;TYPE=FAX:  \r\nTEL;TYPE=VOICE:1\r\n")
            + Card("N;ENCODING=QUOTED-PRINTABLE:=20=09\r\n")
        << QStringList() << 3;
    QTest::addRow("only a fax number, only a company, only a first name")
        << Card("TEL;TYPE=FAX:1\r\n") + Card("ORG:Acme\r\n") + Card("N:;Ann\r\n")
        << QStringList({u"|||||1"_s, u"||Acme|||"_s, u"|Ann||||"_s}) << 3;
    QTest::addRow("an empty group is skipped, a named one kept")
        << Card("KIND:group\r\n") + Card("KIND:group\r\nN:Team\r\n") << QStringList({u"Team|||||"_s}) << 2;
}

void TestVCardReader::cardsWithNothingToListAreSkipped()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, read);
    QFETCH(int, libraryCards);
    ReadTrace trace;
    QCOMPARE(Read(ParseVCards(contents + Card("N:Last\r\n"), std::numeric_limits<qsizetype>::max(), &trace)),
             read + QStringList({u"Last|||||"_s}));
    // Cards with no line to read never reach the library.
    QCOMPARE(trace.libraryCards, quint64(libraryCards + 1));
}

void TestVCardReader::addressBookListsItsFirstCardsUpToTheCap()
{
    QTemporaryDir dir;
    // Empty cards do not count. Below 1 MiB a file is read in one piece,
    // and this few files one after another: one card past the cap is read,
    // to tell that there are more.
    Write(dir.filePath("a.vcf"), QByteArray("BEGIN:VCARD\n").repeated(1000) + NamedCards(0, 20000));
    Write(dir.filePath("b.vcf"), NamedCards(50000, 2000));
    const quint64 handedBefore = CardsHandedToLibrary();
    StderrCapture stderrCapture;
    const auto folder = VCardStore(dir.path(), true, 1000).OpenDefaultContactsFolder();
    QCOMPARE(LastNames(*folder), Numbers(0, 1000));
    QCOMPARE(ToQString(folder->FaxNumber(1000, FaxKind::Other)), u"999"_s);
    QCOMPARE(folder->Count(), 1000); // unchanged: no second line
    const QByteArray said = stderrCapture.Take();
    QCOMPARE(said, "corvane-tesk: address book \"" + QFile::encodeName(dir.path())
                       + "\" holds more than 1000 contacts; only the first 1000 are listed\n");
    const quint64 handed = CardsHandedToLibrary() - handedBefore;
    QVERIFY2(handed <= 1001, qPrintable(QString::number(handed)));

    // Exactly at the cap, nothing is said.
    Write(dir.filePath("a.vcf"), NamedCards(0, 990));
    Write(dir.filePath("b.vcf"), NamedCards(50000, 10));
    StderrCapture atCap;
    QCOMPARE(LastNames(*folder), Numbers(0, 990) + Numbers(50000, 10));
    QCOMPARE(atCap.Take(), QByteArray());

    // A store made without a cap lists the documented 100,000 contacts.
    QTemporaryDir big;
    Write(big.filePath("a.vcf"), NamedCards(0, 100'001));
    StderrCapture documented;
    const auto full = VCardStore(big.path(), true).OpenDefaultContactsFolder();
    QCOMPARE(full->Count(), 100'000);
    QCOMPARE(ToQString(full->Item(100'000).lastName), u"99999"_s);
    QVERIFY(documented.Take().endsWith(" holds more than 100000 contacts; only the first 100000 are listed\n"));
}

void TestVCardReader::capFollowsChangesAcrossFiles()
{
    QTemporaryDir dir;
    Write(dir.filePath("a.vcf"), NamedCards(0, 3));
    Write(dir.filePath("b.vcf"), NamedCards(10, 3));
    Write(dir.filePath("c.vcf"), NamedCards(20, 3));
    Write(dir.filePath("d.vcf"), NamedCards(30, 3));
    StderrCapture quiet;
    const auto folder = VCardStore(dir.path(), true, 5).OpenDefaultContactsFolder();
    QCOMPARE(LastNames(*folder), QStringList({"0", "1", "2", "10", "11"}));

    // Room freed before a file cut short lets more of it in, and the next.
    QVERIFY(QFile::remove(dir.filePath("a.vcf")));
    QCOMPARE(LastNames(*folder), QStringList({"10", "11", "12", "20", "21"}));
    Write(dir.filePath("b.vcf"), NamedCards(10, 1));
    QCOMPARE(LastNames(*folder), QStringList({"10", "20", "21", "22", "30"}));
    // A file that grows before the others pushes them out.
    Write(dir.filePath("0.vcf"), NamedCards(100, 4));
    QCOMPARE(LastNames(*folder), QStringList({"100", "101", "102", "103", "10"}));
    QCOMPARE(ToQString(folder->FaxNumber(5, FaxKind::Other)), u"10"_s);
    QVERIFY_THROWS_EXCEPTION(StoreError, folder->FaxNumber(6, FaxKind::Other));
    QCOMPARE(quiet.Take().count('\n'), 4);
}

QTEST_GUILESS_MAIN(TestVCardReader)
#include "tst_vcard_reader.moc"
