#pragma once

#include <QObject>

class QMenu;

// The program's icon in the notification area.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TrayIcon() override = default;

    // True puts the icon into the notification area, false takes it out.
    virtual void SetInTray(bool inTray) = 0;
    virtual bool InTray() const = 0;
    virtual void SetToolTip(const QString &toolTip) = 0;
    virtual QString ToolTip() const = 0;
    // Offered by trays that show only a menu of the icon's own.
    virtual void SetMenu(QMenu *menu) = 0;
    // Pops the menu up at the pointer and returns once it has closed.
    virtual void PopUpMenu(QMenu &menu) = 0;

signals:
    // Any mouse button on the icon.
    void MouseButton();
};
