#include "message_window.h"

namespace {
constexpr wchar_t kClassName[] = L"CorvaneTeskMessages";

void RegisterOnce(HINSTANCE instance, const wchar_t *className, WNDPROC procedure)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(instance, className, &windowClass))
        return;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);
}
} // namespace

MessageWindow::MessageWindow(Handler handler) : m_handler(std::move(handler))
{
    RegisterOnce(GetModuleHandleW(nullptr), kClassName, &MessageWindow::Procedure);
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

HWND CreateHiddenWindow(HINSTANCE instance, const wchar_t *className, WNDPROC procedure, void *owner)
{
    RegisterOnce(instance, className, procedure);
    return CreateWindowExW(WS_EX_TOOLWINDOW, className, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, owner);
}
