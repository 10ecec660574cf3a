#include "session_end.h"

#include "message_window.h"

namespace {
constexpr wchar_t kClassName[] = L"CorvaneTeskSessionEnd";
}

SessionEndWindow::SessionEndWindow(HINSTANCE instance)
{
    // A message-only window would not be asked.
    m_hwnd = CreateHiddenWindow(instance, kClassName, &SessionEndWindow::Procedure, this);
}

SessionEndWindow::~SessionEndWindow()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

LRESULT CALLBACK SessionEndWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self = static_cast<SessionEndWindow *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<SessionEndWindow *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // FALSE: another program refused and the session goes on.
        if (wParam && self && self->m_onEnd)
            self->m_onEnd();
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
