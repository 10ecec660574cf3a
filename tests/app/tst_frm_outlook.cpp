// Start-up, shutdown and the tray icon of the program's window.
#include "doubles/window_harness.h"

#include <QMenu>
#include <QTcpServer>
#include <QTest>

namespace {
const ShownBox kClosingNotice{ShownBox::Information,
                              "Corvane Tesk is closing.  You need to restart the program in order to send faxes.",
                              "Corvane Tesk"};

void CompareBoxes(const std::vector<ShownBox> &shown, const std::vector<ShownBox> &expected)
{
    QCOMPARE(shown.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(shown[i].kind, expected[i].kind);
        QCOMPARE(shown[i].text, expected[i].text);
        QCOMPARE(shown[i].title, expected[i].title);
    }
}
} // namespace

class TestFrmOutlook : public QObject {
    Q_OBJECT
private slots:
    void startsInTrayListeningWithDialogHidden();
    void missingAddressBookEndsWithTwoBoxes();
    void takenPortEndsWithBindErrorAndReleasesAddressBook();
    void trayItemClosesWhileIdleWithoutClosingListener();
    void trayItemDuringSessionLeavesConnectionToTheWindow();
    void trayClickPopsUpTheMenuShownOrHidden();
    void windowCloseButtonCancelsAndKeepsRunning();
};

void TestFrmOutlook::startsInTrayListeningWithDialogHidden()
{
    WindowHarness h;
    QVERIFY(h.tray->InTray());
    QCOMPARE(h.tray->ToolTip(), QStringLiteral("Corvane Tesk (fax number manager)"));
    QCOMPARE(h.tray->menu, h.ui().mnu_file);
    h.window->Form_Load();
    QVERIFY(h.boxes.shown.empty());
    QVERIFY(!h.window->isVisible());
    QCOMPARE(h.socket->State(), int(SocketLayer::Listening));
    TcpPeer overIpv4, overIpv6;
    QVERIFY(overIpv4.Connect(h.Port()));
    QVERIFY(overIpv6.Connect(h.Port(), true));
}

void TestFrmOutlook::missingAddressBookEndsWithTwoBoxes()
{
    WindowHarness h(0, []() -> std::unique_ptr<ContactStore> { throw StoreError("no address book here"); });
    QSignalSpy unloaded(h.window.get(), &frm_outlook::Unloaded);
    h.window->Form_Load();
    CompareBoxes(h.boxes.shown, {{ShownBox::Error, "Microsoft Outlook was not detected on your PC.", "Outlook error"},
                                 kClosingNotice});
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(h.window->IsUnloaded());
    QVERIFY(!h.tray->InTray());
    QVERIFY(h.socket->calls.isEmpty());

    WindowHarness noFolder;
    noFolder.book->cannotOpen = true;
    noFolder.window->Form_Load();
    QCOMPARE(noFolder.boxes.shown.at(0).text, QStringLiteral("Microsoft Outlook was not detected on your PC."));
    QVERIFY(noFolder.window->IsUnloaded());
}

void TestFrmOutlook::takenPortEndsWithBindErrorAndReleasesAddressBook()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::Any));
    WindowHarness h(other.serverPort());
    h.window->Form_Load();
    const QString expected = QStringLiteral("Some other program may be binding port %1.\r\nPlease clear this port and try again.")
                                 .arg(other.serverPort());
    CompareBoxes(h.boxes.shown, {{ShownBox::Error, expected, "Error binding listening port"}, kClosingNotice});
    QVERIFY(h.window->IsUnloaded());
    QVERIFY(!h.tray->InTray());
    QCOMPARE(h.book->releaseOrder, (std::vector<QString>{"folder", "store"}));
}

void TestFrmOutlook::trayItemClosesWhileIdleWithoutClosingListener()
{
    WindowHarness h;
    h.window->Form_Load();
    h.ui().mnu_exit->trigger();
    CompareBoxes(h.boxes.shown, {kClosingNotice});
    QVERIFY(h.window->IsUnloaded());
    QVERIFY(!h.tray->InTray());
    QVERIFY(!h.socket->calls.contains("Close"));
    QCOMPARE(h.book->releaseOrder, (std::vector<QString>{"folder", "store"}));
    h.window.reset();
    QCOMPARE(h.book->releaseOrder.size(), size_t(2)); // released once only
}

void TestFrmOutlook::trayItemDuringSessionLeavesConnectionToTheWindow()
{
    WindowHarness h;
    h.window->Form_Load();
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    h.socket->calls.clear();
    h.ui().mnu_exit->trigger();
    QVERIFY(h.window->IsUnloaded());
    QVERIFY(h.socket->calls.isEmpty());
    QVERIFY(!h.window->isVisible());
}

void TestFrmOutlook::trayClickPopsUpTheMenuShownOrHidden()
{
    WindowHarness h;
    h.window->Form_Load();
    h.tray->Click();
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    h.tray->Click();
    QCOMPARE(h.tray->poppedUp, (std::vector<QMenu *>{h.ui().mnu_file, h.ui().mnu_file}));
    QCOMPARE(h.ui().mnu_file->actions().size(), 1);
    QCOMPARE(h.ui().mnu_file->actions().first()->text(), QStringLiteral("Close Corvane Tesk (fax client)"));
}

void TestFrmOutlook::windowCloseButtonCancelsAndKeepsRunning()
{
    WindowHarness h;
    h.window->Form_Load();
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    h.window->close();
    QTRY_VERIFY(peer.Finished());
    QVERIFY(peer.received.isEmpty());
    QVERIFY(!h.window->IsUnloaded());
    QVERIFY(!h.window->isVisible());
    QCOMPARE(h.socket->State(), int(SocketLayer::Listening));
}

QTEST_MAIN(TestFrmOutlook)
#include "tst_frm_outlook.moc"
