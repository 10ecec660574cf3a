// The real message boxes as the desktop shows them: their kinds, buttons and
// titles exactly as given, as the window manager reads them on X11.
#include "application.h"
#include "message_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {
struct SeenBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString title;
    QString text;
    QString titleOnScreen; // _NET_WM_NAME as the X server holds it
};

// Notes what the next box looks like once it is up, then presses the button.
void Expect(SeenBox &seen, QMessageBox::StandardButton press)
{
    seen = {};
    QTimer::singleShot(0, [&seen, press] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.icon = box->icon();
        for (QAbstractButton *button : box->buttons())
            seen.buttons << box->standardButton(button);
        seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
        seen.title = box->windowTitle();
        seen.text = box->text();
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            QTest::qWaitForWindowExposed(box);
            QProcess xprop;
            xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(box->winId()),
                                                  QStringLiteral("-notype"), QStringLiteral("_NET_WM_NAME")});
            xprop.waitForFinished(10000);
            seen.titleOnScreen = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
        }
        box->button(press)->click();
    });
}
} // namespace

class TestMessageBoxes : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetUpApplication(*qApp); }
    void errorInformationAndQuestion();
    void closeAllEndsEveryOpenBoxAsDismissed();
};

void TestMessageBoxes::errorInformationAndQuestion()
{
    QtMessageBoxes boxes;
    const bool onX11 = QGuiApplication::platformName() == QLatin1String("xcb");
    SeenBox seen;

    Expect(seen, QMessageBox::Ok);
    boxes.Error(u"Microsoft Outlook was not detected on your PC.", u"Outlook error");
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(seen.title, QStringLiteral("Outlook error"));
    if (onX11)
        QCOMPARE(seen.titleOnScreen, QStringLiteral("_NET_WM_NAME = \"Outlook error\""));

    Expect(seen, QMessageBox::Ok);
    boxes.Information(u"Corvane Tesk is closing.  You need to restart the program in order to send faxes.",
                      u"Corvane Tesk");
    QCOMPARE(seen.icon, QMessageBox::Information);
    QCOMPARE(seen.text, QStringLiteral("Corvane Tesk is closing.  You need to restart the program in order to send faxes."));
    if (onX11)
        QCOMPARE(seen.titleOnScreen, QStringLiteral("_NET_WM_NAME = \"Corvane Tesk\""));

    Expect(seen, QMessageBox::Ok);
    QVERIFY(boxes.Question(u"Sending fax to: ", u"Fax transmission!"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.defaultButton, QMessageBox::Ok);
    QVERIFY(seen.buttons.contains(QMessageBox::Ok) && seen.buttons.contains(QMessageBox::Cancel));
    if (onX11)
        QCOMPARE(seen.titleOnScreen, QStringLiteral("_NET_WM_NAME = \"Fax transmission!\""));

    Expect(seen, QMessageBox::Cancel);
    QVERIFY(!boxes.Question(u"Sending fax to: ", u"Fax transmission!"));
}

void TestMessageBoxes::closeAllEndsEveryOpenBoxAsDismissed()
{
    QtMessageBoxes boxes;
    // A question inside an error box's wait, as a new request finds them;
    // closing from the innermost event ends both, the question as Cancel.
    bool answered = true;
    int openWhenClosing = 0;
    bool stillOpen = false;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            const QWidgetList windows = QApplication::topLevelWidgets();
            openWhenClosing = int(std::count_if(windows.begin(), windows.end(), [](QWidget *w) {
                return qobject_cast<QMessageBox *>(w) && w->isVisible();
            }));
            boxes.CloseAll();
            // Afterwards: whatever is still up failed to close, and goes.
            QTimer::singleShot(0, [&] {
                stillOpen = QApplication::activeModalWidget() != nullptr;
                for (QWidget *w : QApplication::topLevelWidgets())
                    if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                        box->done(QMessageBox::Cancel);
            });
        });
        answered = boxes.Question(u"Sending fax to: ", u"Fax transmission!");
    });
    boxes.Error(u"The connection to the fax server was lost. No fax number was sent.", u"Error");
    QCOMPARE(openWhenClosing, 2);
    QVERIFY(!stillOpen);
    QVERIFY(!answered);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    boxes.CloseAll(); // none open: nothing to do
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_message_boxes.moc"
