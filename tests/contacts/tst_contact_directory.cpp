// How contacts are listed and which fax entries they offer.
#include "contacts/contact_directory.h"

#include <QTest>

class TestContactDirectory : public QObject {
    Q_OBJECT
private slots:
    void displayText_data();
    void displayText();
    void sortsCaseInsensitivelyKeepingPositions();
    void faxEntriesOnlyForNumbersGiven();
};

void TestContactDirectory::displayText_data()
{
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("text");
    QTest::newRow("last and first") << "Smith" << "Ann" << "" << "Smith, Ann";
    QTest::newRow("last only") << "Smith" << "" << "" << "Smith";
    QTest::newRow("first only") << "" << "Ann" << "" << "Ann";
    QTest::newRow("nothing") << "" << "" << "" << "";
    QTest::newRow("all three") << "Smith" << "Ann" << "Acme" << "Acme - (Smith, Ann)";
    QTest::newRow("company and last") << "Smith" << "" << "Acme" << "Acme - (Smith)";
    QTest::newRow("company and first") << "" << "Ann" << "Acme" << "Acme - (Ann)";
    QTest::newRow("company only") << "" << "" << "Acme" << "Acme - ()";
    QTest::newRow("blanks are not empty") << " " << " " << "" << " ,  ";
}

void TestContactDirectory::displayText()
{
    QFETCH(QString, last);
    QFETCH(QString, first);
    QFETCH(QString, company);
    QFETCH(QString, text);
    QCOMPARE(DisplayText(last, first, company), text);
}

void TestContactDirectory::sortsCaseInsensitivelyKeepingPositions()
{
    std::vector<ListEntry> entries{{"smith", 1}, {"Adams", 3}, {"Zed", 4}, {"", 7}, {"adams", 9}, {"Éclair", 10}};
    SortForDisplay(entries);
    QStringList texts;
    QList<qint32> positions;
    for (const ListEntry &entry : entries) {
        texts << entry.text;
        positions << entry.position;
    }
    QCOMPARE(texts, (QStringList{"", "Adams", "adams", "Éclair", "smith", "Zed"}));
    QCOMPARE(positions, (QList<qint32>{7, 3, 9, 10, 1, 4}));
}

void TestContactDirectory::faxEntriesOnlyForNumbersGiven()
{
    QCOMPARE(FaxEntries("", "", ""), QStringList());
    QCOMPARE(FaxEntries("", "+1 (2) 3", ""), QStringList{"Home fax: +1 (2) 3"});
    QCOMPARE(FaxEntries("1", "", "3"), (QStringList{"Business fax: 1", "Other fax: 3"}));
    QCOMPARE(FaxEntries("1", "2", "3"), (QStringList{"Business fax: 1", "Home fax: 2", "Other fax: 3"}));
    QCOMPARE(FaxEntries(" ", "", ""), QStringList{"Business fax:  "});
}

QTEST_APPLESS_MAIN(TestContactDirectory)
#include "tst_contact_directory.moc"
