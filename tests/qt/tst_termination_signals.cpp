// SIGTERM and SIGINT end the program the orderly way, without a box.
#include "app/termination_signals.h"
#include "doubles/window_harness.h"

#include <QTest>
#include <csignal>

class TestTerminationSignals : public QObject {
    Q_OBJECT
private slots:
    void signalsArriveOnTheGuiThread();
    void signalEndsTheProgramQuietly();
};

void TestTerminationSignals::signalsArriveOnTheGuiThread()
{
    TerminationSignals termination;
    QSignalSpy received(&termination, &TerminationSignals::Received);
    for (const int signal : {SIGTERM, SIGINT}) {
        const int before = int(received.count());
        ::raise(signal);
        QTRY_COMPARE(received.count(), before + 1);
    }
}

void TestTerminationSignals::signalEndsTheProgramQuietly()
{
    WindowHarness h;
    h.window->Form_Load();
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Received, h.window.get(), &frm_outlook::Unload);
    QSignalSpy unloaded(h.window.get(), &frm_outlook::Unloaded);
    ::raise(SIGTERM);
    QTRY_COMPARE(unloaded.count(), 1);
    QVERIFY(h.boxes.shown.empty());
    QVERIFY(!h.tray->InTray());
    QCOMPARE(h.book->releaseOrder, (std::vector<QString>{"folder", "store"}));
    QVERIFY(!h.window->isVisible());
}

QTEST_MAIN(TestTerminationSignals)
#include "tst_termination_signals.moc"
