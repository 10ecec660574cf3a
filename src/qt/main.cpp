#include "address_book.h"
#include "allowed_servers.h"
#include "application.h"
#include "dialog_window.h"
#include "glib_allocator.h"
#include "message_boxes.h"
#include "system_tray_icon.h"
#include "tcp_socket_layer.h"
#include "termination_signals.h"
#include "texts.h"
#include "url_opener.h"

#include <QApplication>
#include <QFileInfo>
#include <QSystemTrayIcon>
#include <cstdio>

namespace {
constexpr uint16_t kFaxServerPort = 5555;

// Bitmaps drawn for each size stay sharp where scaling one would blur.
QIcon TrayIcon()
{
    QIcon icon;
    for (const char *size : {"16", "22", "32"})
        icon.addFile(QStringLiteral(":/icons/corvane-tesk-tray-%1.png").arg(QLatin1String(size)));
    return icon;
}
} // namespace

int main(int argc, char *argv[])
{
    UseMallocForGLib();
    QApplication app(argc, argv);
    SetUpApplication(app);

    auto socket = std::make_unique<TcpSocketLayer>(kFaxServerPort);
    try {
        socket->SetAllowedPeers(AllowedFaxServers(QProcessEnvironment::systemEnvironment()));
    } catch (const BadPeerList &error) {
        std::fprintf(stderr, texts::console::BadFaxServerList, error.what());
        return EXIT_FAILURE;
    }
    // On a shared host the dispatcher owns the port and hands this user's
    // requests over; the program then never listens on the port itself.
    const QString dispatcher = QProcessEnvironment::systemEnvironment().value(
        QStringLiteral("CORVANE_TESK_DISPATCHER"), QString::fromLatin1(DispatcherLink::kDefaultPath));
    if (QFileInfo::exists(dispatcher))
        socket->UseDispatcher(std::make_unique<DispatcherLink>(dispatcher.toStdString()));

    QtMessageBoxes boxes;
    DesktopUrlOpener urls;
    DialogWindow window({
        boxes,
        urls,
        std::move(socket),
        std::make_unique<SystemTrayIcon>(TrayIcon()),
        [] { return OpenAddressBook(QProcessEnvironment::systemEnvironment()); },
    });
    QObject::connect(&window, &DialogWindow::Unloaded, &app, &QApplication::quit);
    TerminationSignals termination;
    // Leaves every event loop, those of open message boxes included: nobody
    // is there to answer them when the session ends.
    QObject::connect(&termination, &TerminationSignals::Received, &window, [&window] {
        window.Logic().Unload();
        QCoreApplication::exit(EXIT_SUCCESS);
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        std::fputs(texts::console::NoTray, stderr);
    window.Logic().Form_Load();
    if (window.Logic().IsUnloaded())
        return EXIT_FAILURE;
    return app.exec();
}
