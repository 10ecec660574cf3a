#pragma once

#include "platform.h"
#include "win32_defs.h"

#include <functional>

// Opens an address with the shell's default action: ShellExecuteA of
// shell32, bound on first use, given the address in the system's ANSI code
// page. Its result is not read; nothing is reported.
class ShellUrlOpener final : public UrlOpener {
public:
    using ShellExecuteFunction = HINSTANCE(WINAPI *)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
    // Finds ShellExecuteA; null when the library or the function is missing.
    using Binder = std::function<ShellExecuteFunction()>;
    static ShellExecuteFunction BindShellExecuteA();

    explicit ShellUrlOpener(Binder bind = &ShellUrlOpener::BindShellExecuteA) : m_bind(std::move(bind)) {}

    void Open(const Text &address) override;

private:
    Binder m_bind;
    ShellExecuteFunction m_shellExecute = nullptr;
    bool m_bound = false;
};

// The text in the system's ANSI code page, as the shell's A functions take it.
std::string ToAnsiCodePage(const Text &text);
