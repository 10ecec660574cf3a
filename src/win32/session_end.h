#pragma once

#include "win32_defs.h"

#include <functional>

// Hears the desktop session end (logoff, shutdown, restart) on a hidden
// top-level window of its own: the system asks every top-level window with
// WM_QUERYENDSESSION, which it always allows, and then tells it with
// WM_ENDSESSION. The handler runs once the end is certain, before the
// message returns: after that the system may end the process at any moment.
class SessionEndWindow {
public:
    explicit SessionEndWindow(HINSTANCE instance);
    ~SessionEndWindow();
    SessionEndWindow(const SessionEndWindow &) = delete;
    SessionEndWindow &operator=(const SessionEndWindow &) = delete;

    void SetOnSessionEnd(std::function<void()> onEnd) { m_onEnd = std::move(onEnd); }
    HWND Handle() const { return m_hwnd; }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    std::function<void()> m_onEnd;
};
