#include "system_tray_icon.h"

#include "qt_text.h"
#include "texts.h"

#include <QCursor>

SystemTrayIcon::SystemTrayIcon(const QIcon &icon, QObject *parent)
    : QObject(parent), m_icon(icon), m_menu(ToQString(texts::MenuFile))
{
    connect(m_menu.addAction(ToQString(texts::MenuExit)), &QAction::triggered, this, &SystemTrayIcon::ExitChosen);
    m_icon.setContextMenu(&m_menu);
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The context-menu click is answered by the icon's own menu.
        if (reason != QSystemTrayIcon::Context)
            emit MouseButton();
    });
}

void SystemTrayIcon::SetToolTip(const Text &tip)
{
    m_icon.setToolTip(ToQString(tip));
}

void SystemTrayIcon::SetInTray(bool inTray)
{
    m_icon.setVisible(inTray);
}

void SystemTrayIcon::PopUpMenu()
{
    m_menu.exec(QCursor::pos());
}
