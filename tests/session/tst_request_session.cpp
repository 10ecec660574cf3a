// One fax server's request from connect to the end of the session, over
// real loopback connections.
#include "doubles/window_harness.h"

#include <QTcpServer>
#include <QTest>
#include <fstream>

namespace {
long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}
} // namespace

class TestRequestSession : public QObject {
    Q_OBJECT
private slots:
    void connectionIsTakenOnlyAfterTheListIsFilled();
    void cancelClosesWithoutAByteAndListensAgain();
    void secondServerIsRefusedDuringASession();
    void sessionsInARowStartClean();
    void peerClosingEarlyChangesNothingUntilCancel();
    void halfClosingPeerStillHoldsTheSession();
    void floodingPeerDoesNotGrowMemory();
    void portTakenBetweenSessionsIsReportedOnceAndRetried();
};

void TestRequestSession::connectionIsTakenOnlyAfterTheListIsFilled()
{
    WindowHarness h;
    h.book->items = {Contact("Smith", "Ann"), Contact("Jones", "Bob")};
    h.window->Form_Load();
    bool visibleAtAccept = false;
    int listedAtAccept = -1;
    QString headlineAtAccept;
    h.socket->onCall = [&](const QString &call) {
        if (call != "Accept")
            return;
        visibleAtAccept = h.window->isVisible();
        listedAtAccept = h.ui().addressList->count();
        headlineAtAccept = h.ui().fax_notify->text();
    };
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    QCOMPARE(h.socket->calls, (QStringList{"Listen", "Close", "Accept"}));
    QVERIFY(visibleAtAccept);
    QCOMPARE(listedAtAccept, 2);
    QCOMPARE(headlineAtAccept, QStringLiteral("Sending a fax to... ?"));
    QCOMPARE(h.ui().lbl_connect->text(), QStringLiteral("Connected..."));
    QVERIFY(h.ui().addressList->isEnabled());
    QVERIFY(h.ui().btn_cancel->isEnabled());
    QVERIFY(!h.ui().btn_send->isEnabled());
}

void TestRequestSession::cancelClosesWithoutAByteAndListensAgain()
{
    WindowHarness h;
    h.book->items = {Contact("Smith", "Ann", "111")};
    h.window->Form_Load();
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    QTest::mouseClick(h.ui().btn_cancel, Qt::LeftButton);
    QTRY_VERIFY(peer.Finished());
    QVERIFY(peer.received.isEmpty());
    QVERIFY(!peer.wasReset);
    QVERIFY(!h.window->isVisible());
    QCOMPARE(h.window->ClosePending(), frm_outlook::False);
    QCOMPARE(h.socket->State(), int(SocketLayer::Listening));
    TcpPeer next;
    QVERIFY(h.StartSession(next));
    QCOMPARE(h.ui().addressList->count(), 1);
}

void TestRequestSession::secondServerIsRefusedDuringASession()
{
    WindowHarness h;
    h.window->Form_Load();
    TcpPeer first, second, third;
    QVERIFY(h.StartSession(first));
    QVERIFY(!second.Connect(h.Port()));
    h.ui().btn_cancel->click();
    QVERIFY(h.StartSession(third));
}

void TestRequestSession::sessionsInARowStartClean()
{
    WindowHarness h;
    h.book->items = {Contact("Smith", "Ann", "111", "222", "333")};
    h.window->Form_Load();
    for (int session = 0; session < 5; ++session) {
        TcpPeer peer;
        QVERIFY(h.StartSession(peer));
        QVERIFY(h.ui().txt_faxno->text().isEmpty());
        QCOMPARE(h.ui().txt_outlookfaxno->count(), 0);
        QVERIFY(h.ui().lbl_businessfaxno->text().isEmpty());
        QVERIFY(h.ui().lbl_homefaxno->text().isEmpty());
        QVERIFY(h.ui().lbl_otherfaxno->text().isEmpty());
        QCOMPARE(h.ListedTexts(), QStringList{"Smith, Ann"});
        // The page the user left stays chosen for the next request.
        QCOMPARE(h.ui().tab_addressselect->CurrentIndex(), session == 0 ? int(AddressBookPage) : int(TypedNumberPage));
        h.ui().tab_addressselect->SetCurrentIndex(AddressBookPage);
        h.Select("Smith, Ann");
        h.ui().tab_addressselect->SetCurrentIndex(TypedNumberPage);
        h.ui().txt_faxno->setText("0123");
        h.ui().btn_cancel->click();
        QTRY_VERIFY(peer.Finished());
        QCOMPARE(h.ui().lbl_recipient->text(), QStringLiteral("Smith, Ann"));
    }
}

void TestRequestSession::peerClosingEarlyChangesNothingUntilCancel()
{
    WindowHarness h;
    h.book->items = {Contact("Smith", "Ann")};
    h.window->Form_Load();
    {
        TcpPeer peer;
        QVERIFY(h.StartSession(peer));
    }
    QCoreApplication::processEvents();
    QVERIFY(h.window->isVisible());
    QCOMPARE(h.socket->State(), int(SocketLayer::Connected));
    QCOMPARE(h.ui().addressList->count(), 1);
    h.ui().btn_cancel->click();
    QCOMPARE(h.socket->State(), int(SocketLayer::Listening));
    QVERIFY(h.boxes.shown.empty());
}

void TestRequestSession::halfClosingPeerStillHoldsTheSession()
{
    WindowHarness h;
    h.window->Form_Load();
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    QVERIFY(peer.Send("anything the server says is ignored\r\n"));
    peer.HalfClose();
    QCoreApplication::processEvents();
    QVERIFY(!peer.Finished());
    QCOMPARE(h.socket->State(), int(SocketLayer::Connected));
    h.ui().btn_cancel->click();
    QTRY_VERIFY(peer.Finished());
    QVERIFY(!peer.wasReset);
}

void TestRequestSession::floodingPeerDoesNotGrowMemory()
{
    WindowHarness h;
    h.window->Form_Load();
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    const long before = ResidentKiB();
    const QByteArray chunk(64 * 1024, 'x');
    int accepted = 0;
    for (int i = 0; i < 1000 && peer.Send(chunk); ++i) {
        ++accepted;
        QCoreApplication::processEvents();
    }
    QVERIFY2(accepted < 1000, "the program took 64 MB without the sender ever being held back");
    QVERIFY2(ResidentKiB() - before < 16 * 1024, "the peer's data piled up in memory");
    h.ui().btn_cancel->click();
    QCOMPARE(h.socket->State(), int(SocketLayer::Listening));
}

void TestRequestSession::portTakenBetweenSessionsIsReportedOnceAndRetried()
{
    WindowHarness h;
    h.window->Form_Load();
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    auto intruder = std::make_unique<QTcpServer>();
    QVERIFY(intruder->listen(QHostAddress::Any, h.Port()));
    h.ui().btn_cancel->click();
    QCOMPARE(h.boxes.shown.size(), size_t(1));
    QCOMPARE(h.boxes.shown[0].title, QStringLiteral("Error binding listening port"));
    QVERIFY(!h.window->IsUnloaded());
    const qsizetype triedBefore = h.socket->calls.count("Listen");
    QTRY_VERIFY(h.socket->calls.count("Listen") >= triedBefore + 3); // retried while the port stays taken
    QCOMPARE(h.boxes.shown.size(), size_t(1));
    intruder.reset();
    QTRY_COMPARE(h.socket->State(), int(SocketLayer::Listening));
    TcpPeer next;
    QVERIFY(h.StartSession(next));
}

QTEST_MAIN(TestRequestSession)
#include "tst_request_session.moc"
