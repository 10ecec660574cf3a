#include "application.h"

#include <QApplication>
#include <QIcon>

void SetUpApplication(QApplication &app)
{
    app.setApplicationName(QStringLiteral("corvane-tesk"));
    app.setDesktopFileName(QStringLiteral("org.corvane.Tesk"));
    // The program lives in the tray; hiding the dialog must not end it.
    app.setQuitOnLastWindowClosed(false);
    QIcon icon;
    for (const char *size : {"16x16", "32x32", "48x48"})
        icon.addFile(QStringLiteral(":/icons/hicolor/%1/apps/corvane-tesk.png").arg(QLatin1String(size)));
    app.setWindowIcon(icon);
}
