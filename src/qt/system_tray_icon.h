#pragma once

#include "tray_icon.h"

#include <QSystemTrayIcon>

class SystemTrayIcon final : public TrayIcon {
    Q_OBJECT
public:
    explicit SystemTrayIcon(const QIcon &icon, QObject *parent = nullptr);

    void SetInTray(bool inTray) override;
    bool InTray() const override;
    void SetToolTip(const QString &toolTip) override;
    QString ToolTip() const override;
    void SetMenu(QMenu *menu) override;
    void PopUpMenu(QMenu &menu) override;

private:
    QSystemTrayIcon m_icon;
};
