#include "qt_harness.h"

#include <QComboBox>
#include <QIcon>
#include <QTest>

QtHarness::QtHarness()
{
    book->journal = &journal;
    window = std::make_unique<DialogWindow>(DialogWindow::Desktop{
        boxes,
        urls,
        std::make_unique<TcpSocketLayer>(0),
        std::make_unique<SystemTrayIcon>(QIcon()),
        [this] { return std::make_unique<FakeContactStore>(book); },
    });
}

bool QtHarness::StartSession(TestPeer &peer, bool ipv6)
{
    return peer.Connect(Port(), ipv6)
        && QTest::qWaitFor([this] { return window->Socket().State() == Socket::Connected; }, 10000);
}

bool QtHarness::WaitForEnd(TestPeer &peer)
{
    return QTest::qWaitFor([&peer] { return peer.Poll(); }, 10000);
}

void QtHarness::Click(const QString &entryText, Qt::KeyboardModifiers modifiers)
{
    const QList<QListWidgetItem *> found = ui().addressList->findItems(entryText, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(entryText));
    const QRect place = ui().addressList->visualItemRect(found.first());
    QTest::mouseClick(ui().addressList->viewport(), Qt::LeftButton, modifiers, place.center());
}

QStringList QtHarness::ListedTexts() const
{
    QStringList texts;
    for (int i = 0; i < ui().addressList->count(); ++i)
        texts << ui().addressList->item(i)->text();
    return texts;
}

QStringList QtHarness::ComboEntries() const
{
    QStringList entries;
    for (int i = 0; i < ui().txt_outlookfaxno->count(); ++i)
        entries << ui().txt_outlookfaxno->itemText(i);
    return entries;
}
