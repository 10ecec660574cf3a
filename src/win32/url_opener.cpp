#include "url_opener.h"

ShellUrlOpener::ShellExecuteFunction ShellUrlOpener::BindShellExecuteA()
{
    HMODULE shell = LoadLibraryW(L"shell32.dll");
    if (!shell)
        return nullptr;
    return reinterpret_cast<ShellExecuteFunction>(reinterpret_cast<void *>(GetProcAddress(shell, "ShellExecuteA")));
}

std::string ToAnsiCodePage(const Text &text)
{
    const std::wstring wide = Wide(text);
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string ansi(size_t(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), ansi.data(), size, nullptr, nullptr);
    return ansi;
}

void ShellUrlOpener::Open(const Text &address)
{
    if (!m_bound) {
        m_bound = true;
        m_shellExecute = m_bind ? m_bind() : nullptr;
    }
    // Not reaching the function is a failure the link ignores.
    if (!m_shellExecute)
        return;
    const std::string ansi = ToAnsiCodePage(address);
    m_shellExecute(nullptr, nullptr, ansi.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
