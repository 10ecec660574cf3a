// "Send this fax": confirmation, the reply on a real connection, and the end
// of the session that follows.
#include "doubles/window_harness.h"

#include <QTest>

namespace {
const QString kQuestionTitle = QStringLiteral("Fax transmission!");
}

class TestSendReply : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void typedNumberReachesTheServerByteExact();
    void chosenContactReachesTheServerWithItsListText();
    void noComboEntryPickedSendsAnEmptyNumber();
    void cancelInTheBoxChangesNothing();
    void sendOnTheAboutPageDoesNothing();
    void halfClosedServerStillGetsTheReply();
    void serverGoneWhileTheBoxIsOpenIsReported();
    void lateSendCompleteAfterCancelIsIgnored();
    void trayCloseAfterConfirmingClosesTheConnectionFirst();

private:
    void Press();
    std::unique_ptr<WindowHarness> h;
    std::unique_ptr<TcpPeer> peer;
};

void TestSendReply::init()
{
    h = std::make_unique<WindowHarness>();
    h->book->items = {{"Smith", "John", "", "012 345 678", "", ""},
                      {"Müller", "Zoë", "Acme\nInc", "+12 (3) 456", "", "9"},
                      {"Home", "Only", "", "", "55 66", ""}};
    h->window->Form_Load();
    peer = std::make_unique<TcpPeer>();
    QVERIFY(h->StartSession(*peer));
}

void TestSendReply::cleanup()
{
    peer.reset();
    h.reset();
}

void TestSendReply::Press()
{
    QVERIFY(h->ui().btn_send->isEnabled());
    QTest::mouseClick(h->ui().btn_send, Qt::LeftButton);
}

void TestSendReply::typedNumberReachesTheServerByteExact()
{
    h->ui().tab_addressselect->SetCurrentIndex(TypedNumberPage);
    QTest::keyClicks(h->ui().txt_faxno, "(012) 345-678");
    Press();
    QCOMPARE(h->boxes.shown.size(), size_t(1));
    QCOMPARE(h->boxes.shown[0].kind, ShownBox::Question);
    QCOMPARE(h->boxes.shown[0].title, kQuestionTitle);
    QCOMPARE(h->boxes.shown[0].text,
             QStringLiteral("Sending fax to: \r\n-> Fax number: 012345678\r\n\r\nAre you certain these details are correct?"));
    QCOMPARE(h->window->ClosePending(), frm_outlook::True);
    QTRY_VERIFY(peer->Finished());
    QCOMPARE(peer->received, QByteArray::fromHex("3031323334353637380d0a200d0a200d0a200d0a"));
    QVERIFY(!peer->wasReset);
    QTRY_COMPARE(h->socket->State(), int(SocketLayer::Listening));
    QCOMPARE(h->window->ClosePending(), frm_outlook::False);
    QVERIFY(!h->window->isVisible());
    QVERIFY(h->ui().txt_faxno->text().isEmpty());
}

void TestSendReply::chosenContactReachesTheServerWithItsListText()
{
    h->Select("Acme\nInc - (Müller, Zoë)");
    QCOMPARE(h->ui().txt_outlookfaxno->currentText(), QStringLiteral("Business fax: +12 (3) 456"));
    Press();
    QCOMPARE(h->boxes.shown[0].text,
             QStringLiteral("Sending fax to: \r\n-> Fax recipient: Acme\nInc - (Müller, Zoë)\r\n-> Fax number: 123456\r\n\r\n"
                            "Are you certain these details are correct?"));
    QTRY_VERIFY(peer->Finished());
    QCOMPARE(peer->received, QString("123456\r\n \r\nAcme Inc - (Müller, Zoë)\r\n \r\n").toUtf8());

    TcpPeer next;
    QVERIFY(h->StartSession(next));
    h->Select("Smith, John");
    h->ui().txt_outlookfaxno->setCurrentIndex(0);
    Press();
    QTRY_VERIFY(next.Finished());
    QCOMPARE(next.received, QByteArray("012345678\r\n \r\nSmith, John\r\n \r\n"));
}

void TestSendReply::noComboEntryPickedSendsAnEmptyNumber()
{
    h->Select("Home, Only");
    QCOMPARE(h->ui().txt_outlookfaxno->currentIndex(), -1);
    Press();
    QVERIFY(h->boxes.shown[0].text.contains("-> Fax recipient: Home, Only\r\n-> Fax number: \r\n"));
    QTRY_VERIFY(peer->Finished());
    QCOMPARE(peer->received, QByteArray("\r\n \r\nHome, Only\r\n \r\n"));
}

void TestSendReply::cancelInTheBoxChangesNothing()
{
    h->boxes.answer = false;
    h->ui().tab_addressselect->SetCurrentIndex(TypedNumberPage);
    h->ui().txt_faxno->setText("12");
    Press();
    QCOMPARE(h->window->ClosePending(), frm_outlook::False);
    QVERIFY(h->window->isVisible());
    QCOMPARE(h->ui().txt_faxno->text(), QStringLiteral("12"));
    QVERIFY(!h->socket->calls.contains("SendData"));
    h->ui().txt_faxno->setText("34");
    Press();
    QCOMPARE(h->boxes.shown.size(), size_t(2));
    QVERIFY(h->boxes.shown[1].text.contains("-> Fax number: 34\r\n"));
    QCOMPARE(h->socket->State(), int(SocketLayer::Connected));
    QVERIFY(!peer->Finished());
}

void TestSendReply::sendOnTheAboutPageDoesNothing()
{
    h->ui().txt_faxno->setText("12");
    h->ui().tab_addressselect->SetCurrentIndex(AboutPage);
    QVERIFY(!h->ui().btn_send->isEnabled());
    h->ui().btn_send->setEnabled(true); // even a press that gets through
    Press();
    QVERIFY(h->boxes.shown.empty());
    QCOMPARE(h->window->ClosePending(), frm_outlook::False);
    QVERIFY(!h->socket->calls.contains("SendData"));
}

void TestSendReply::halfClosedServerStillGetsTheReply()
{
    peer->HalfClose();
    QCoreApplication::processEvents();
    h->ui().tab_addressselect->SetCurrentIndex(TypedNumberPage);
    h->ui().txt_faxno->setText("5");
    Press();
    QTRY_VERIFY(peer->Finished());
    QCOMPARE(peer->received, QByteArray("5\r\n \r\n \r\n \r\n"));
    QVERIFY(h->boxes.shown.size() == 1);
}

void TestSendReply::serverGoneWhileTheBoxIsOpenIsReported()
{
    h->ui().tab_addressselect->SetCurrentIndex(TypedNumberPage);
    h->ui().txt_faxno->setText("5");
    h->boxes.whileOpen = [this] { peer->Reset(); };
    Press();
    QTRY_COMPARE(h->boxes.shown.size(), size_t(2));
    QCOMPARE(h->boxes.shown[1].kind, ShownBox::Error);
    QCOMPARE(h->boxes.shown[1].title, QStringLiteral("Error"));
    QCOMPARE(h->boxes.shown[1].text, QStringLiteral("The connection to the fax server was lost. No fax number was sent."));
    QCOMPARE(h->socket->State(), int(SocketLayer::Listening));
    QVERIFY(!h->window->isVisible());
    TcpPeer next;
    QVERIFY(h->StartSession(next));
}

void TestSendReply::lateSendCompleteAfterCancelIsIgnored()
{
    h->ui().tab_addressselect->SetCurrentIndex(TypedNumberPage);
    h->ui().txt_faxno->setText("5");
    Press();
    h->ui().btn_cancel->click();
    const QStringList callsAfterCancel = h->socket->calls;
    emit h->socket->SendComplete();
    emit h->socket->SendFailed();
    QCoreApplication::processEvents();
    QCOMPARE(h->socket->calls, callsAfterCancel);
    QCOMPARE(h->boxes.shown.size(), size_t(1));
    QCOMPARE(h->socket->State(), int(SocketLayer::Listening));
}

void TestSendReply::trayCloseAfterConfirmingClosesTheConnectionFirst()
{
    size_t releasedAtClose = 99;
    h->socket->onCall = [&](const QString &call) {
        if (call == "Close")
            releasedAtClose = h->book->releaseOrder.size();
    };
    h->ui().tab_addressselect->SetCurrentIndex(TypedNumberPage);
    h->ui().txt_faxno->setText("5");
    Press();
    h->ui().mnu_exit->trigger();
    QCOMPARE(releasedAtClose, size_t(0));
    QCOMPARE(h->book->releaseOrder, (std::vector<QString>{"folder", "store"}));
    QVERIFY(h->window->IsUnloaded());
    QTRY_VERIFY(peer->Finished());
    QCOMPARE(peer->received, QByteArray("5\r\n \r\n \r\n \r\n"));
}

QTEST_MAIN(TestSendReply)
#include "tst_send_reply.moc"
