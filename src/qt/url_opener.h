#pragma once

#include "platform.h"

// Hands an address to the desktop's default browser without waiting for it.
class DesktopUrlOpener final : public UrlOpener {
public:
    void Open(const Text &address) override;
};
