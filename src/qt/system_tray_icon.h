#pragma once

#include "platform.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

// The icon in the notification area, with the program's one-item menu. The
// same menu is the icon's context menu, for trays that show only a menu of
// the icon's own.
class SystemTrayIcon final : public QObject, public Tray {
    Q_OBJECT
public:
    explicit SystemTrayIcon(const QIcon &icon, QObject *parent = nullptr);

    void SetToolTip(const Text &tip) override;
    void SetInTray(bool inTray) override;
    void PopUpMenu() override;

    const QSystemTrayIcon &Icon() const { return m_icon; }
    QMenu &Menu() { return m_menu; }

signals:
    // Any mouse button on the icon.
    void MouseButton();
    // The menu's one item was chosen.
    void ExitChosen();

private:
    QSystemTrayIcon m_icon;
    QMenu m_menu;
};
