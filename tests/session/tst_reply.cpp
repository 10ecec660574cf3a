// The digit filter, the confirmation texts and the reply's bytes.
#include "session/reply.h"

#include <QTest>

class TestReply : public QObject {
    Q_OBJECT
private slots:
    void digitsOnly_data();
    void digitsOnly();
    void digitsOnlyFiltersLongTextsInFull();
    void numberPartOfEntry_data();
    void numberPartOfEntry();
    void confirmationTexts();
    void typedNumberReplyIsByteExact();
    void contactReplyCarriesTheRecipient();
    void recipientStaysOneLine();
    void recipientGoesOutAsUtf8();
};

void TestReply::digitsOnly_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("digits");
    QTest::newRow("brackets, blanks and hyphen") << "(012) 345-678" << "012345678";
    QTest::newRow("plus sign adds nothing") << "+12 345 678" << "12345678";
    QTest::newRow("dots and letters") << "0.12 ext. 34a" << "01234";
    QTest::newRow("letters only") << "fax me" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("full-width digits") << QString::fromUtf8("\uFF10\uFF11\uFF12 3") << "3";
    QTest::newRow("arabic-indic and devanagari digits") << QString::fromUtf8("\u0661\u0662\u0966 4") << "4";
    QTest::newRow("superscripts") << QString::fromUtf8("5\u00B2\u00B3") << "5";
}

void TestReply::digitsOnly()
{
    QFETCH(QString, source);
    QFETCH(QString, digits);
    QCOMPARE(DigitsOnly(source), digits);
}

void TestReply::digitsOnlyFiltersLongTextsInFull()
{
    for (const int length : {32766, 32767, 100000}) {
        QString source(length, u'-');
        source[0] = u'1';
        source[length - 1] = u'9';
        QCOMPARE(DigitsOnly(source), QStringLiteral("19"));
    }
}

void TestReply::numberPartOfEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("number");
    QTest::newRow("business") << "Business fax: +12 (3) 456" << "+12 (3) 456";
    QTest::newRow("only the first colon-blank counts") << "Home fax: 12: 34" << "12: 34";
    QTest::newRow("no colon-blank drops the first character") << "1234" << "234";
    QTest::newRow("colon without blank") << "x:12" << ":12";
    QTest::newRow("colon-blank at the end") << "Other fax: " << "";
    QTest::newRow("empty") << "" << "";
}

void TestReply::numberPartOfEntry()
{
    QFETCH(QString, entry);
    QFETCH(QString, number);
    QCOMPARE(NumberPartOfEntry(entry), number);
}

void TestReply::confirmationTexts()
{
    QCOMPARE(TypedNumberConfirmation("012"),
             QStringLiteral("Sending fax to: \r\n-> Fax number: 012\r\n\r\nAre you certain these details are correct?"));
    QCOMPARE(ContactConfirmation("Smith, John", ""),
             QStringLiteral("Sending fax to: \r\n-> Fax recipient: Smith, John\r\n-> Fax number: \r\n\r\n"
                            "Are you certain these details are correct?"));
}

void TestReply::typedNumberReplyIsByteExact()
{
    QCOMPARE(TypedNumberReply(DigitsOnly("(012) 345-678")),
             QByteArray::fromHex("3031323334353637380d0a200d0a200d0a200d0a"));
    QCOMPARE(TypedNumberReply(""), QByteArray("\r\n \r\n \r\n \r\n"));
}

void TestReply::contactReplyCarriesTheRecipient()
{
    QCOMPARE(ContactReply("012345678", "Smith, John"), QByteArray("012345678\r\n \r\nSmith, John\r\n \r\n"));
    // A contact listed with an empty text sends an empty third line.
    QCOMPARE(ContactReply("1", ""), QByteArray("1\r\n \r\n\r\n \r\n"));
}

void TestReply::recipientStaysOneLine()
{
    const QString name = QString("Evil\r\nInc\t - (A\x01") + QChar(0x7f) + QChar(0x85) + u')';
    QCOMPARE(ContactReply("1", name), QByteArray("1\r\n \r\nEvil  Inc  - (A   )\r\n \r\n"));
}

void TestReply::recipientGoesOutAsUtf8()
{
    const QString name = QString::fromUtf8("Müller, Zoë - (Ωμέγα 株式会社)");
    QCOMPARE(ContactReply("1", name), "1\r\n \r\n" + name.toUtf8() + "\r\n \r\n");
}

QTEST_APPLESS_MAIN(TestReply)
#include "tst_reply.moc"
