// SIGTERM and SIGINT end the program the orderly way, without a box.
#include "qt_harness.h"
#include "termination_signals.h"

#include <QSignalSpy>
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
    QtHarness h;
    h.Start();
    TestPeer peer;
    QVERIFY(h.StartSession(peer));
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Received, h.window.get(), [&h] { h.window->Logic().Unload(); });
    QSignalSpy unloaded(h.window.get(), &DialogWindow::Unloaded);
    const size_t mark = h.journal.Mark();
    ::raise(SIGTERM);
    QTRY_COMPARE(unloaded.count(), 1);
    QVERIFY(h.boxes.shown.empty());
    QVERIFY(!h.window->Tray().Icon().isVisible());
    QCOMPARE(h.journal.Since(mark), (std::vector<std::string>{"released folder", "released store"}));
    QVERIFY(!h.window->isVisible());
}

QTEST_MAIN(TestTerminationSignals)
#include "tst_termination_signals.moc"
