#pragma once

#include "platform.h"
#include "win32_defs.h"

#include <functional>
#include <iterator>
#include <string_view>

// The program's message boxes: MessageBoxW with the kind's icon and buttons,
// owned by the dialog while it is on screen (so it waits for the box) and
// otherwise modal to the whole program, brought to the front.
class WinMessageBoxes final : public MessageBoxes {
public:
    using MessageBoxFunction = int(WINAPI *)(HWND, LPCWSTR, LPCWSTR, UINT);
    static constexpr UINT ErrorFlags = MB_ICONSTOP | MB_OK;
    static constexpr UINT InformationFlags = MB_ICONINFORMATION | MB_OK;
    static constexpr UINT QuestionFlags = MB_OKCANCEL | MB_DEFBUTTON1;

    // `owner` gives the dialog's window while it is on screen, else null.
    WinMessageBoxes(std::function<HWND()> owner, MessageBoxFunction show = &MessageBoxW)
        : m_owner(std::move(owner)), m_show(show)
    {
    }

    void Error(const Text &text, const Text &title) override { Show(text, title, ErrorFlags); }
    void Information(const Text &text, const Text &title) override { Show(text, title, InformationFlags); }
    bool Question(const Text &text, const Text &title) override { return Show(text, title, QuestionFlags) == IDOK; }
    // Every box is a dialog of the system's class on this thread: each ends
    // as if dismissed, and its MessageBoxW returns as its loop next runs.
    void CloseAll() override { EnumThreadWindows(GetCurrentThreadId(), &EndIfBox, 0); }

private:
    static BOOL CALLBACK EndIfBox(HWND window, LPARAM)
    {
        wchar_t name[16] = {};
        if (GetClassNameW(window, name, int(std::size(name))) && std::wstring_view(name) == L"#32770")
            EndDialog(window, IDCANCEL);
        return TRUE;
    }

    int Show(const Text &text, const Text &title, UINT flags)
    {
        HWND owner = m_owner ? m_owner() : nullptr;
        flags |= owner ? MB_APPLMODAL : MB_TASKMODAL | MB_SETFOREGROUND;
        return m_show(owner, Wide(text).c_str(), Wide(title).c_str(), flags);
    }

    std::function<HWND()> m_owner;
    MessageBoxFunction m_show;
};
