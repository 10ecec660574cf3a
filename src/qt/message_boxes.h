#pragma once

#include <QString>

// The program's modal message boxes. Texts and titles are shown exactly as
// passed.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Stop icon, one OK button.
    virtual void Error(const QString &text, const QString &title) = 0;
    // Information icon, one OK button.
    virtual void Information(const QString &text, const QString &title) = 0;
    // No icon, OK and Cancel with OK the default; true when OK was pressed.
    virtual bool Question(const QString &text, const QString &title) = 0;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    void Error(const QString &text, const QString &title) override;
    void Information(const QString &text, const QString &title) override;
    bool Question(const QString &text, const QString &title) override;
};
