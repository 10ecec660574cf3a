#include "system_tray_icon.h"

#include <QCursor>
#include <QMenu>

SystemTrayIcon::SystemTrayIcon(const QIcon &icon, QObject *parent) : TrayIcon(parent), m_icon(icon)
{
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The context-menu click is answered by the menu set with SetMenu.
        if (reason != QSystemTrayIcon::Context)
            emit MouseButton();
    });
}

void SystemTrayIcon::SetInTray(bool inTray)
{
    m_icon.setVisible(inTray);
}

bool SystemTrayIcon::InTray() const
{
    return m_icon.isVisible();
}

void SystemTrayIcon::SetToolTip(const QString &toolTip)
{
    m_icon.setToolTip(toolTip);
}

QString SystemTrayIcon::ToolTip() const
{
    return m_icon.toolTip();
}

void SystemTrayIcon::PopUpMenu(QMenu &menu)
{
    menu.exec(QCursor::pos());
}

void SystemTrayIcon::SetMenu(QMenu *menu)
{
    m_icon.setContextMenu(menu);
}
