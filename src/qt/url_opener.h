#pragma once

#include <QString>

// Hands an address to the desktop's default browser without waiting for it.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when the desktop could not open it; nobody is told.
    virtual bool Open(const QString &address) = 0;
};

class DesktopUrlOpener final : public UrlOpener {
public:
    bool Open(const QString &address) override;
};
