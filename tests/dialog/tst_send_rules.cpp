// When "Send this fax" can be pressed, event by event.
#include "doubles/window_harness.h"

#include <QTest>

// Each row is a run of events, each followed by the button's expected state:
// "tab N", "type TEXT", "clear" or "pick ENTRY", then "=on" or "=off".
class TestSendRules : public QObject {
    Q_OBJECT
private slots:
    void followsEveryEvent_data();
    void followsEveryEvent();
};

void TestSendRules::followsEveryEvent_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("nothing chosen yet") << QStringList{"tab 1=off", "tab 2=off"};
    QTest::newRow("typing any character, then erasing it")
        << QStringList{"tab 0=off", "type a=on", "clear=off", "type  =on", "clear=off"};
    QTest::newRow("letters only") << QStringList{"tab 0=off", "type abc=on"};
    QTest::newRow("about page, and back to the typed number")
        << QStringList{"tab 0=off", "type 1=on", "tab 2=off", "tab 0=on"};
    QTest::newRow("typing counts whatever page shows") << QStringList{"tab 2=off", "type 1=on"};
    QTest::newRow("contact with one number: the tab rule wants all three")
        << QStringList{"pick Home, One=on", "tab 0=off", "tab 1=off", "pick Home, One=on"};
    QTest::newRow("contact with two numbers") << QStringList{"pick Two, Fax=on", "tab 2=off", "tab 1=off"};
    QTest::newRow("contact with all three numbers")
        << QStringList{"pick All, Fax=on", "tab 2=off", "tab 1=on", "tab 0=off", "tab 1=on"};
    QTest::newRow("contact without a fax number") << QStringList{"pick All, Fax=on", "pick None, Fax=off"};
}

void TestSendRules::followsEveryEvent()
{
    QFETCH(QStringList, steps);
    WindowHarness h;
    h.book->items = {{"Home", "One", "", "", "1", ""},
                     {"Two", "Fax", "", "1", "", "3"},
                     {"All", "Fax", "", "1", "2", "3"},
                     {"None", "Fax", "", "", "", ""}};
    h.window->Form_Load();
    TcpPeer peer;
    QVERIFY(h.StartSession(peer));
    QVERIFY(!h.ui().btn_send->isEnabled());
    for (const QString &step : steps) {
        const qsizetype equals = step.lastIndexOf(u'=');
        const QString event = step.left(equals);
        const bool expected = step.mid(equals + 1) == QLatin1String("on");
        if (event.startsWith("tab "))
            h.ui().tab_addressselect->SetCurrentIndex(event.mid(4).toInt());
        else if (event.startsWith("type "))
            h.ui().txt_faxno->setText(h.ui().txt_faxno->text() + event.mid(5));
        else if (event == "clear")
            h.ui().txt_faxno->clear();
        else if (event.startsWith("pick "))
            h.Select(event.mid(5));
        else
            QFAIL(qPrintable("unknown event " + event));
        QVERIFY2(h.ui().btn_send->isEnabled() == expected, qPrintable("after " + event));
    }
}

QTEST_MAIN(TestSendRules)
#include "tst_send_rules.moc"
