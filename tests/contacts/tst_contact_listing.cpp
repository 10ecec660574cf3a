// The contact list and the fax entries as the window shows them during a
// request.
#include "doubles/window_harness.h"

#include <QTest>

Q_DECLARE_METATYPE(FakeContact)

class TestContactListing : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { h.reset(); }

    void emptyAddressBookListsNothing();
    void otherItemClassesAreSkippedKeepingTruePositions();
    void addressBooksPastSixteenBitPositionsAreListedInFull();
    void listIsSortedAndTypingJumpsToAnEntry();
    void selectionOffersTheContactsFaxEntries_data();
    void selectionOffersTheContactsFaxEntries();
    void emptyEntrySetsAnEmptyRecipient();
    void eachSelectionRebuildsTheCombo();
    void selectionReadsTheItemNowAtThePosition();
    void positionPastTheEndGivesTheErrorBox();
    void unreachableAddressBookKeepsEarlierLabels();
    void failedListingRestoresTheDialogAndTakesTheConnection();

private:
    void StartSession();
    std::unique_ptr<WindowHarness> h;
    std::unique_ptr<TcpPeer> peer;
};

void TestContactListing::init()
{
    h = std::make_unique<WindowHarness>();
    peer = std::make_unique<TcpPeer>();
}

void TestContactListing::StartSession()
{
    h->window->Form_Load();
    QVERIFY(h->StartSession(*peer));
}

void TestContactListing::emptyAddressBookListsNothing()
{
    StartSession();
    QCOMPARE(h->ui().addressList->count(), 0);
    QCOMPARE(h->ui().fax_notify->text(), QStringLiteral("Sending a fax to... ?"));
    QVERIFY(h->ui().addressList->isEnabled());
    QVERIFY(h->ui().btn_cancel->isEnabled());
    QVERIFY(!h->ui().btn_send->isEnabled());
}

void TestContactListing::otherItemClassesAreSkippedKeepingTruePositions()
{
    FakeContact list = Contact("Team", "", "999");
    list.itemClass = DistributionListClass;
    h->book->items = {Contact("Adams", "Al", "111"), list, Contact("Brown", "Bo", "333")};
    StartSession();
    QCOMPARE(h->ListedTexts(), (QStringList{"Adams, Al", "Brown, Bo"}));
    QCOMPARE(h->ui().addressList->item(1)->data(Qt::UserRole).toInt(), 3);
    h->Select("Brown, Bo");
    QCOMPARE(h->ComboEntries(), QStringList{"Business fax: 333"});
}

void TestContactListing::addressBooksPastSixteenBitPositionsAreListedInFull()
{
    for (int i = 1; i <= 40000; ++i)
        h->book->items.push_back(Contact(QString::number(i), {}, QString::number(i)));
    StartSession();
    QCOMPARE(h->ui().addressList->count(), 40000);
    h->Select("39999");
    QCOMPARE(h->ComboEntries(), QStringList{"Business fax: 39999"});
}

void TestContactListing::listIsSortedAndTypingJumpsToAnEntry()
{
    h->book->items = {Contact("smith", "ann"), Contact("Jones", "Bob"), Contact("adams", "Cy")};
    StartSession();
    QCOMPARE(h->ListedTexts(), (QStringList{"adams, Cy", "Jones, Bob", "smith, ann"}));
    h->ui().addressList->setFocus();
    QTest::keyClicks(h->ui().addressList, "s");
    QCOMPARE(h->ui().addressList->currentItem()->text(), QStringLiteral("smith, ann"));
}

void TestContactListing::selectionOffersTheContactsFaxEntries_data()
{
    QTest::addColumn<FakeContact>("contact");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("sendEnabled");
    QTest::newRow("no fax number") << Contact("A", "B") << QStringList{} << -1 << false;
    QTest::newRow("home only: nothing picked, send enabled")
        << Contact("A", "B", "", "+1 (2) 3") << QStringList{"Home fax: +1 (2) 3"} << -1 << true;
    QTest::newRow("business and other")
        << Contact("A", "B", "11", "", "33") << QStringList{"Business fax: 11", "Other fax: 33"} << 0 << true;
    QTest::newRow("all three")
        << Contact("A", "B", "11", "22", "33") << QStringList{"Business fax: 11", "Home fax: 22", "Other fax: 33"} << 0
        << true;
}

void TestContactListing::selectionOffersTheContactsFaxEntries()
{
    QFETCH(FakeContact, contact);
    QFETCH(QStringList, entries);
    QFETCH(int, selected);
    QFETCH(bool, sendEnabled);
    h->book->items = {contact};
    StartSession();
    h->Select("A, B");
    QCOMPARE(h->ComboEntries(), entries);
    QCOMPARE(h->ui().txt_outlookfaxno->currentIndex(), selected);
    QCOMPARE(h->ui().btn_send->isEnabled(), sendEnabled);
    QCOMPARE(h->ui().lbl_recipient->text(), QStringLiteral("A, B"));
    QCOMPARE(h->ui().lbl_businessfaxno->text(), contact.businessFax);
    QCOMPARE(h->ui().lbl_homefaxno->text(), contact.homeFax);
    QCOMPARE(h->ui().lbl_otherfaxno->text(), contact.otherFax);
}

void TestContactListing::emptyEntrySetsAnEmptyRecipient()
{
    h->book->items = {Contact("", "", "1")};
    StartSession();
    h->ui().addressList->setCurrentRow(0);
    QCOMPARE(h->ui().lbl_recipient->text(), QString());
    QCOMPARE(h->ComboEntries(), QStringList{"Business fax: 1"});
}

void TestContactListing::eachSelectionRebuildsTheCombo()
{
    h->book->items = {Contact("A", "A", "1", "2", "3"), Contact("B", "B", "", "", "9")};
    StartSession();
    h->Select("A, A");
    h->Select("B, B");
    QCOMPARE(h->ComboEntries(), QStringList{"Other fax: 9"});
    QCOMPARE(h->ui().txt_outlookfaxno->currentIndex(), -1);
    h->Select("A, A");
    QCOMPARE(h->ComboEntries().size(), 3);
}

void TestContactListing::selectionReadsTheItemNowAtThePosition()
{
    h->book->items = {Contact("A", "A", "1"), Contact("B", "B", "2")};
    StartSession();
    h->book->items.erase(h->book->items.begin());
    h->book->items.push_back(Contact("C", "C", "3"));
    h->Select("A, A");
    QCOMPARE(h->ComboEntries(), QStringList{"Business fax: 2"});
    QCOMPARE(h->ui().lbl_recipient->text(), QStringLiteral("A, A"));
}

void TestContactListing::positionPastTheEndGivesTheErrorBox()
{
    h->book->items = {Contact("A", "A", "1"), Contact("B", "B", "2")};
    StartSession();
    h->Select("A, A");
    h->book->items.pop_back();
    h->Select("B, B");
    QCOMPARE(h->boxes.shown.size(), size_t(1));
    QCOMPARE(h->boxes.shown[0].kind, ShownBox::Error);
    QCOMPARE(h->boxes.shown[0].text, QStringLiteral("Error 1000: Outlook did not respond properly to a query."));
    QCOMPARE(h->boxes.shown[0].title, QStringLiteral("Error"));
    QVERIFY(!h->ui().btn_send->isEnabled());
    QCOMPARE(h->ui().txt_outlookfaxno->count(), 0);
    QCOMPARE(h->ui().lbl_recipient->text(), QStringLiteral("B, B"));
}

void TestContactListing::unreachableAddressBookKeepsEarlierLabels()
{
    h->book->items = {Contact("A", "A", "1", "2", "3"), Contact("B", "B", "4")};
    StartSession();
    h->Select("A, A");
    h->book->unreachable = true;
    h->Select("B, B");
    QCOMPARE(h->boxes.shown.size(), size_t(1));
    QCOMPARE(h->ui().lbl_businessfaxno->text(), QStringLiteral("1"));
    QCOMPARE(h->ui().lbl_otherfaxno->text(), QStringLiteral("3"));
    QVERIFY(!h->ui().btn_send->isEnabled());
    QVERIFY(!h->window->IsUnloaded());
}

void TestContactListing::failedListingRestoresTheDialogAndTakesTheConnection()
{
    h->book->items = {Contact("A", "A"), Contact("B", "B"), Contact("C", "C")};
    h->book->failListingAfter = 3;
    StartSession();
    QCOMPARE(h->ListedTexts(), (QStringList{"A, A", "B, B"}));
    QCOMPARE(h->boxes.shown.size(), size_t(1));
    QCOMPARE(h->boxes.shown[0].text, QStringLiteral("Error 1000: Outlook did not respond properly to a query."));
    QCOMPARE(h->ui().fax_notify->text(), QStringLiteral("Sending a fax to... ?"));
    QVERIFY(h->ui().addressList->isEnabled());
    QVERIFY(h->ui().btn_cancel->isEnabled());
    QCOMPARE(h->window->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(h->socket->State(), int(SocketLayer::Connected));
}

QTEST_MAIN(TestContactListing)
#include "tst_contact_listing.moc"
