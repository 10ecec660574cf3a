#pragma once

#include "platform.h"

#include <QList>
#include <QPointer>

class QMessageBox;

// The program's modal boxes as Qt's message boxes, titled exactly as passed.
class QtMessageBoxes final : public MessageBoxes {
public:
    void Error(const Text &text, const Text &title) override;
    void Information(const Text &text, const Text &title) override;
    bool Question(const Text &text, const Text &title) override;
    void CloseAll() override;

private:
    int Ask(int icon, const Text &text, const Text &title, int buttons);
    // The boxes open now, innermost last.
    QList<QPointer<QMessageBox>> m_open;
};
