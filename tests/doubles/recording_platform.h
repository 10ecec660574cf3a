#pragma once

#include "app/message_boxes.h"
#include "app/tray_icon.h"
#include "dialog/url_opener.h"

#include <QStringList>
#include <functional>
#include <vector>

// One message box as the user would have seen it.
struct ShownBox {
    enum Kind { Error, Information, Question } kind;
    QString text;
    QString title;
};

// Message boxes that answer at once and remember what they showed.
class RecordingMessageBoxes final : public MessageBoxes {
public:
    void Error(const QString &text, const QString &title) override;
    void Information(const QString &text, const QString &title) override;
    bool Question(const QString &text, const QString &title) override;

    std::vector<ShownBox> shown;
    // The answer to the next questions: true for OK.
    bool answer = true;
    // Runs while a box is open, as if the world moved on meanwhile.
    std::function<void()> whileOpen;

private:
    void Show(ShownBox::Kind kind, const QString &text, const QString &title);
};

class RecordingUrlOpener final : public UrlOpener {
public:
    bool Open(const QString &address) override;
    QStringList opened;
    bool succeeds = true;
};

class FakeTrayIcon final : public TrayIcon {
    Q_OBJECT
public:
    void SetInTray(bool inTray) override { inTrayNow = inTray; }
    bool InTray() const override { return inTrayNow; }
    void SetToolTip(const QString &toolTip) override { tip = toolTip; }
    QString ToolTip() const override { return tip; }
    void SetMenu(QMenu *contextMenu) override { menu = contextMenu; }
    void PopUpMenu(QMenu &popped) override { poppedUp.push_back(&popped); }

    void Click() { emit MouseButton(); }

    bool inTrayNow = false;
    QString tip;
    QMenu *menu = nullptr;
    std::vector<QMenu *> poppedUp;
};
