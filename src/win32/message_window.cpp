#include "message_window.h"

namespace {
constexpr wchar_t kClassName[] = L"CorvaneTeskMessages";

void RegisterOnce(WNDPROC procedure)
{
    static const ATOM atom = [procedure] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExW(&windowClass);
    }();
    (void)atom;
}
} // namespace

MessageWindow::MessageWindow(Handler handler) : m_handler(std::move(handler))
{
    RegisterOnce(&MessageWindow::Procedure);
    m_hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                             this);
}

MessageWindow::~MessageWindow()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

LRESULT CALLBACK MessageWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self = static_cast<MessageWindow *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<MessageWindow *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (self && message >= WM_USER && self->m_handler)
        return self->m_handler(message, wParam, lParam);
    if (self && message == WM_TIMER && self->m_handler)
        return self->m_handler(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
