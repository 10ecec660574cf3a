#include "app/frm_outlook.h"
#include "app/glib_allocator.h"
#include "app/message_boxes.h"
#include "app/system_tray_icon.h"
#include "app/termination_signals.h"
#include "contacts/address_book.h"
#include "dialog/url_opener.h"
#include "session/tcp_socket_layer.h"

#include <QApplication>
#include <QIcon>
#include <QSystemTrayIcon>
#include <cstdio>

namespace {
constexpr quint16 kFaxServerPort = 5555;

// Bitmaps drawn for each size stay sharp where scaling one would blur.
QIcon IconFromBitmaps(const QStringList &files)
{
    QIcon icon;
    for (const QString &file : files)
        icon.addFile(file);
    return icon;
}
} // namespace

int main(int argc, char *argv[])
{
    UseMallocForGLib();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-tesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane Tesk"));
    QApplication::setDesktopFileName(QStringLiteral("org.corvane.Tesk"));
    // The program lives in the tray; hiding the dialog must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(IconFromBitmaps({QStringLiteral(":/icons/hicolor/16x16/apps/corvane-tesk.png"),
                                                 QStringLiteral(":/icons/hicolor/32x32/apps/corvane-tesk.png"),
                                                 QStringLiteral(":/icons/hicolor/48x48/apps/corvane-tesk.png")}));

    QtMessageBoxes boxes;
    DesktopUrlOpener urls;
    frm_outlook window(Platform{
        boxes,
        urls,
        std::make_unique<TcpSocketLayer>(kFaxServerPort),
        std::make_unique<SystemTrayIcon>(IconFromBitmaps({QStringLiteral(":/icons/corvane-tesk-tray-16.png"),
                                                          QStringLiteral(":/icons/corvane-tesk-tray-22.png"),
                                                          QStringLiteral(":/icons/corvane-tesk-tray-32.png")})),
        [] { return OpenAddressBook(QProcessEnvironment::systemEnvironment()); },
    });
    QObject::connect(&window, &frm_outlook::Unloaded, &app, &QApplication::quit);
    TerminationSignals termination;
    // Leaves every event loop, those of open message boxes included: nobody
    // is there to answer them when the session ends.
    QObject::connect(&termination, &TerminationSignals::Received, &window, [&window] {
        window.Unload();
        QCoreApplication::exit(EXIT_SUCCESS);
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        std::fputs("corvane-tesk: this desktop has no system tray; end the program with SIGTERM or SIGINT\n", stderr);
    window.Form_Load();
    if (window.IsUnloaded())
        return EXIT_FAILURE;
    return app.exec();
}
