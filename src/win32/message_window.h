#pragma once

#include "win32_defs.h"

#include <functional>

// A window that only receives messages: no frame, never shown, not reached
// by broadcasts. Socket and timer events arrive on it on the GUI thread.
class MessageWindow {
public:
    using Handler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;
    explicit MessageWindow(Handler handler);
    ~MessageWindow();
    MessageWindow(const MessageWindow &) = delete;
    MessageWindow &operator=(const MessageWindow &) = delete;

    HWND Handle() const { return m_hwnd; }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    Handler m_handler;
    HWND m_hwnd = nullptr;
};

// A top-level window that is never shown: unlike a message-only window it
// hears what the desktop broadcasts to every top-level window (the
// session's end, the taskbar's return). The class is registered the first
// time it is asked for; owner reaches the procedure in WM_NCCREATE.
HWND CreateHiddenWindow(HINSTANCE instance, const wchar_t *className, WNDPROC procedure, void *owner);
