// The Linux program end to end: real widgets, a real TCP peer, the logic's
// doubles only for the address book, the boxes and the browser.
#include "message_boxes.h"
#include "qt_harness.h"
#include "recipient.h"
#include "tab_pages.h"

#include <QAccessible>
#include <QComboBox>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace Qt::StringLiterals;

class TestDialogWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { h.reset(); }

    void startsInTrayListeningOnEveryAddressWithTheDialogHidden();
    void typedNumberReachesTheServerByteExact();
    void chosenContactReachesTheServerAndStaysChosen();
    void theFirstComboEntryIsPickedForAContactWithoutBusinessFax();
    void listingShowsTheBusyPointerOnADisabledList();
    void unchangedBookIsRefilledAsTheListFirstSortedIt();
    void secondServerIsRefusedAndAHalfClosedOneAnswered();
    void serverThatResetsEndsTheSessionAtOnce();
    void windowCloseButtonCancelsAndKeepsRunning();
    void everyRequestActivatesTheDialogWithFocusInside();
    void onlyListedFaxServersMayAsk();
    void theNextRequestClosesTheBoxLeftFromTheLastOne();
    void focusIsReportedOnlyWhereTheKeyboardIs();

private:
    void Press();
    std::unique_ptr<QtHarness> h;
};

void TestDialogWindow::init()
{
    h = std::make_unique<QtHarness>();
    h->book->items = {Contact("Smith", "John", "", "012 345 678"),
                      {u"M\u00fcller", u"Zo\u00eb", u"Acme\nInc", u"+12 (3) 456", {}, u"9"},
                      Contact("Home", "Only", "", "55 66")};
    h->Start();
}

void TestDialogWindow::Press()
{
    QVERIFY(h->ui().btn_send->isEnabled());
    QTest::mouseClick(h->ui().btn_send, Qt::LeftButton);
}

void TestDialogWindow::startsInTrayListeningOnEveryAddressWithTheDialogHidden()
{
    QVERIFY(h->window->Tray().Icon().isVisible());
    QCOMPARE(h->window->Tray().Icon().toolTip(), QStringLiteral("Corvane Tesk (fax number manager)"));
    const QList<QAction *> items = h->window->Tray().Menu().actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0]->text(), QStringLiteral("Close Corvane Tesk (fax client)"));
    QVERIFY(!h->window->isVisible());
    QCOMPARE(h->window->Socket().State(), int(Socket::Listening));
    TestPeer overIpv6;
    QVERIFY(h->StartSession(overIpv6, true));
    QCOMPARE(h->ListedTexts(), QStringList({u"Acme\nInc - (M\u00fcller, Zo\u00eb)"_s, "Home, Only", "Smith, John"}));
}

void TestDialogWindow::typedNumberReachesTheServerByteExact()
{
    TestPeer peer;
    QVERIFY(h->StartSession(peer));
    QVERIFY(!h->ui().btn_send->isEnabled());
    h->ui().tab_addressselect->SetCurrentIndex(TypedNumberPage);
    QTest::keyClicks(h->ui().txt_faxno, "(012) 345-678");
    Press();
    QCOMPARE(h->boxes.shown.back().title, std::string("Fax transmission!"));
    QVERIFY(h->WaitForEnd(peer));
    QCOMPARE(QByteArray::fromStdString(peer.Received()), QByteArray::fromHex("3031323334353637380d0a200d0a200d0a200d0a"));
    QVERIFY(!peer.WasReset());
    QTRY_COMPARE(h->window->Socket().State(), int(Socket::Listening));
    QVERIFY(!h->window->isVisible());
    QVERIFY(h->ui().txt_faxno->text().isEmpty());
}

// Ctrl+click on the chosen entry must not leave the dialog offering a contact
// that the reply would not name.
void TestDialogWindow::chosenContactReachesTheServerAndStaysChosen()
{
    TestPeer peer;
    QVERIFY(h->StartSession(peer));
    const QString acme = u"Acme\nInc - (M\u00fcller, Zo\u00eb)"_s;
    h->Click(acme);
    QCOMPARE(h->ComboEntries(), QStringList({"Business fax: +12 (3) 456", "Other fax: 9"}));
    QCOMPARE(h->ui().txt_outlookfaxno->currentIndex(), 0);
    h->Click(acme, Qt::ControlModifier);
    QCOMPARE(h->ui().addressList->selectedItems().size(), 1);
    QTest::keyClick(h->ui().addressList, Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(h->ui().addressList->selectedItems().size(), 1);
    Press();
    QVERIFY(h->boxes.shown.back().text.find("-> Fax recipient: Acme\nInc - (M\xc3\xbcller, Zo\xc3\xab)\r\n")
            != std::string::npos);
    QVERIFY(h->WaitForEnd(peer));
    QCOMPARE(QString::fromStdString(peer.Received()), u"123456\r\n \r\nAcme Inc - (M\u00fcller, Zo\u00eb)\r\n \r\n"_s);
}

void TestDialogWindow::theFirstComboEntryIsPickedForAContactWithoutBusinessFax()
{
    TestPeer peer;
    QVERIFY(h->StartSession(peer));
    h->Click("Home, Only");
    QCOMPARE(h->ComboEntries(), QStringList({"Home fax: 55 66"}));
    QCOMPARE(h->ui().txt_outlookfaxno->currentIndex(), 0);
    QVERIFY(h->ui().btn_send->isEnabled());
}

void TestDialogWindow::listingShowsTheBusyPointerOnADisabledList()
{
    bool checked = false;
    h->book->onCount = [&] {
        checked = true;
        QVERIFY(h->window->isVisible());
        QCOMPARE(h->window->cursor().shape(), Qt::WaitCursor);
        QVERIFY(!h->ui().addressList->isEnabled());
        QVERIFY(!h->ui().btn_cancel->isEnabled());
        QVERIFY(!h->ui().btn_send->isEnabled());
        QCOMPARE(h->ui().fax_notify->text(), QStringLiteral("Loading your Outlook contacts..."));
    };
    h->ui().txt_faxno->setText("1"); // Send on, as a typed number leaves it
    TestPeer peer;
    QVERIFY(h->StartSession(peer));
    QVERIFY(checked);
    QCOMPARE(h->window->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(h->ui().addressList->isEnabled());
    QCOMPARE(h->ui().fax_notify->text(), QStringLiteral("Sending a fax to... ?"));
}

// Sorted as the user's language sorts, not by code: small and capital
// letters mixed, and a letter with an accent.
void TestDialogWindow::unchangedBookIsRefilledAsTheListFirstSortedIt()
{
    h->book->items.push_back(Contact("apple", "Al", "77"));
    h->book->items.push_back(Contact("Ärger", "Bo"));
    const auto entries = [&] {
        QList<std::pair<QString, int>> shown;
        for (int i = 0; i < h->ui().addressList->count(); ++i)
            shown.append({h->ui().addressList->item(i)->text(), h->ui().addressList->Data(i)});
        return shown;
    };
    QList<std::pair<QString, int>> first;
    for (int request = 1; request <= 3; ++request) {
        const int reads = h->book->itemReads;
        TestPeer peer;
        QVERIFY(h->StartSession(peer));
        if (request == 1) {
            first = entries();
            QCOMPARE(first.size(), 5);
            QCOMPARE(first.at(0).first, u"Acme\nInc - (M\u00fcller, Zo\u00eb)"_s);
            QCOMPARE(first.at(1).first, u"apple, Al"_s);
            QCOMPARE(first.at(2).first, u"\u00c4rger, Bo"_s);
        } else {
            QCOMPARE(h->book->itemReads, reads);
            QCOMPARE(entries(), first);
        }
        h->Click(u"apple, Al"_s);
        QCOMPARE(h->ComboEntries(), QStringList({"Business fax: 77"}));
        QTest::mouseClick(h->ui().btn_cancel, Qt::LeftButton);
        QVERIFY(h->WaitForEnd(peer));
    }
}

void TestDialogWindow::secondServerIsRefusedAndAHalfClosedOneAnswered()
{
    TestPeer first;
    QVERIFY(h->StartSession(first));
    TestPeer second;
    QVERIFY(!second.Connect(h->Port()));
    first.ShutdownWrite();
    h->ui().tab_addressselect->SetCurrentIndex(TypedNumberPage);
    QTest::keyClicks(h->ui().txt_faxno, "42");
    Press();
    QVERIFY(h->WaitForEnd(first));
    QCOMPARE(first.Received(), std::string("42\r\n \r\n \r\n \r\n"));
    QTRY_COMPARE(h->window->Socket().State(), int(Socket::Listening));
    TestPeer third;
    QVERIFY(h->StartSession(third));
}

void TestDialogWindow::serverThatResetsEndsTheSessionAtOnce()
{
    TestPeer peer;
    QVERIFY(h->StartSession(peer));
    peer.Reset();
    QTRY_COMPARE(h->window->Socket().State(), int(Socket::Listening));
    QVERIFY(!h->window->isVisible());
    QCOMPARE(h->boxes.shown.back().text, std::string("The connection to the fax server was lost. No fax number was sent."));
    TestPeer next;
    QVERIFY(h->StartSession(next));
}

void TestDialogWindow::windowCloseButtonCancelsAndKeepsRunning()
{
    TestPeer peer;
    QVERIFY(h->StartSession(peer));
    QVERIFY(!h->window->close());
    QVERIFY(h->WaitForEnd(peer));
    QVERIFY(peer.Received().empty());
    QVERIFY(!h->window->isVisible());
    QVERIFY(!h->window->Logic().IsUnloaded());
    QTRY_COMPARE(h->window->Socket().State(), int(Socket::Listening));
}

void TestDialogWindow::everyRequestActivatesTheDialogWithFocusInside()
{
    for (int request = 0; request < 3; ++request) {
        TestPeer peer;
        QVERIFY(h->StartSession(peer));
        QVERIFY(QTest::qWaitForWindowActive(h->window.get()));
        QCOMPARE(QApplication::activeWindow(), h->window.get());
        QVERIFY2(h->window->isAncestorOf(QApplication::focusWidget()), qPrintable(QString::number(request)));
        QTest::mouseClick(h->ui().btn_cancel, Qt::LeftButton);
        QVERIFY(h->WaitForEnd(peer));
    }
}

void TestDialogWindow::onlyListedFaxServersMayAsk()
{
    h->window->Socket().SetAllowedPeers(PeerFilter::Parse("192.0.2.1 ::1", {}));
    TestPeer stranger;
    QVERIFY(stranger.Connect(h->Port()));
    QVERIFY(h->WaitForEnd(stranger));
    QVERIFY(stranger.Received().empty());
    QVERIFY(stranger.WasReset()); // refused, not read as a cancel
    QVERIFY(!h->window->isVisible());
    QCOMPARE(h->window->Socket().State(), int(Socket::Listening));
    QVERIFY(h->boxes.shown.empty());
    TestPeer listed;
    QVERIFY(h->StartSession(listed, true));
}

void TestDialogWindow::theNextRequestClosesTheBoxLeftFromTheLastOne()
{
    // The real boxes, for a box that stays up until something ends it.
    QtMessageBoxes boxes;
    auto book = h->book;
    DialogWindow window(DialogWindow::Desktop{
        boxes,
        h->urls,
        std::make_unique<TcpSocketLayer>(0),
        std::make_unique<SystemTrayIcon>(QIcon()),
        [book] { return std::make_unique<FakeContactStore>(book); },
    });
    window.Logic().Form_Load();
    TestPeer first, second;
    QVERIFY(first.Connect(window.Socket().LocalPort()));
    QTRY_COMPARE(window.Socket().State(), int(Socket::Connected));

    // Once the lost-connection box is up, the next fax server asks; a box
    // still up after that request is in has failed to close, and the test
    // ends it.
    bool asked = false, endedByTest = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!asked) {
            asked = second.Connect(window.Socket().LocalPort());
        } else if (window.Socket().State() == Socket::Connected) {
            endedByTest = true;
            box->done(QMessageBox::Cancel);
        }
    });
    watch.start(10);
    first.Reset();
    QTRY_VERIFY_WITH_TIMEOUT(asked && window.Socket().State() == Socket::Connected
                                 && !QApplication::activeModalWidget(),
                             20000);
    watch.stop();
    QVERIFY(!endedByTest);
    QVERIFY(window.isVisible());
    QVERIFY(window.Widgets().addressList->isEnabled());
    window.Logic().btn_cancel_Click();
    QVERIFY(QTest::qWaitFor([&] { return second.Poll(); }, 10000));
}

// What assistive technology is told has the focus: every object in the
// window's accessible tree that reports it, as "role name".
static QStringList ReportedFocused(QWidget *window)
{
    QStringList focused;
    const std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
        if (node->state().focused)
            focused << u"%1 %2"_s.arg(int(node->role())).arg(node->text(QAccessible::Name));
        for (int i = 0; i < node->childCount(); ++i)
            if (QAccessibleInterface *child = node->child(i))
                walk(child);
    };
    walk(QAccessible::queryAccessibleInterface(window));
    return focused;
}

// The tab row and its current tab report the focus while the row has it,
// and neither does once the number box has it; on later requests too.
void TestDialogWindow::focusIsReportedOnlyWhereTheKeyboardIs()
{
    const QString typedTab = h->ui().tab_addressselect->Tabs()->tabText(TypedNumberPage);
    const QStringList onTypedTab = {u"%1 %2"_s.arg(int(QAccessible::PageTabList)).arg(typedTab),
                                    u"%1 %2"_s.arg(int(QAccessible::PageTab)).arg(typedTab)};
    const QStringList onNumberBox = {u"%1 "_s.arg(int(QAccessible::EditableText))};
    for (int request = 0; request < 2; ++request) {
        TestPeer peer;
        QVERIFY(h->StartSession(peer));
        QVERIFY(QTest::qWaitForWindowActive(h->window.get()));
        QTabBar *tabs = h->ui().tab_addressselect->Tabs();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(TypedNumberPage).center());
        QCOMPARE(ReportedFocused(h->window.get()), onTypedTab);
        QTest::mouseClick(h->ui().txt_faxno, Qt::LeftButton);
        QTest::keyClicks(h->ui().txt_faxno, "12");
        QCOMPARE(ReportedFocused(h->window.get()), onNumberBox);
        QTest::mouseClick(h->ui().btn_cancel, Qt::LeftButton);
        QVERIFY(h->WaitForEnd(peer));
    }
}

QTEST_MAIN(TestDialogWindow)
#include "tst_dialog_window.moc"
