#pragma once

#include "platform.h"

// The program's modal boxes as Qt's message boxes, titled exactly as passed.
class QtMessageBoxes final : public MessageBoxes {
public:
    void Error(const Text &text, const Text &title) override;
    void Information(const Text &text, const Text &title) override;
    bool Question(const Text &text, const Text &title) override;
};
