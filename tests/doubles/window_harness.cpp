#include "window_harness.h"

#include "session/tcp_socket_layer.h"

#include <QTest>

WindowHarness::WindowHarness(quint16 port, std::function<std::unique_ptr<ContactStore>()> open)
{
    auto recording = std::make_unique<RecordingSocketLayer>(std::make_unique<TcpSocketLayer>(port));
    socket = recording.get();
    auto fakeTray = std::make_unique<FakeTrayIcon>();
    tray = fakeTray.get();
    if (!open)
        open = [book = book] { return std::make_unique<FakeContactStore>(book); };
    window = std::make_unique<frm_outlook>(
        Platform{boxes, urls, std::move(recording), std::move(fakeTray), std::move(open), 20});
}

bool WindowHarness::StartSession(TcpPeer &peer)
{
    if (!peer.Connect(Port()))
        return false;
    return QTest::qWaitFor([this] { return socket->State() == SocketLayer::Connected; }, 10000);
}

void WindowHarness::Select(const QString &entryText)
{
    QListWidget *list = ui().addressList;
    const QList<QListWidgetItem *> found = list->findItems(entryText, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable("no entry " + entryText));
    QVERIFY2(list->isVisible(), "the list is not on the page shown");
    list->scrollToItem(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
}

QStringList WindowHarness::ListedTexts() const
{
    QStringList texts;
    for (int i = 0; i < ui().addressList->count(); ++i)
        texts << ui().addressList->item(i)->text();
    return texts;
}

QStringList WindowHarness::ComboEntries() const
{
    QStringList entries;
    for (int i = 0; i < ui().txt_outlookfaxno->count(); ++i)
        entries << ui().txt_outlookfaxno->itemText(i);
    return entries;
}
