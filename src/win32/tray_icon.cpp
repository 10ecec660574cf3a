#include "tray_icon.h"

#include "message_window.h"
#include "texts.h"

namespace {
constexpr wchar_t kClassName[] = L"CorvaneTeskTray";
constexpr UINT kIconId = 1;
} // namespace

TrayIcon::TrayIcon(HINSTANCE instance, HICON icon, NotifyFunction notify)
    : m_icon(icon), m_notify(notify), m_taskbarCreated(RegisterWindowMessageW(L"TaskbarCreated"))
{
    // It owns the menu and hears the taskbar come back.
    m_hwnd = CreateHiddenWindow(instance, kClassName, &TrayIcon::Procedure, this);
}

TrayIcon::~TrayIcon()
{
    SetInTray(false);
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

NOTIFYICONDATAW TrayIcon::Data(UINT flags) const
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_hwnd;
    data.uID = kIconId;
    data.uFlags = flags;
    data.uCallbackMessage = CallbackMessage;
    data.hIcon = m_icon;
    const std::wstring tip = Wide(m_tip);
    tip.copy(data.szTip, std::size(data.szTip) - 1);
    return data;
}

void TrayIcon::SetToolTip(const Text &tip)
{
    m_tip = tip;
    if (!m_inTray)
        return;
    NOTIFYICONDATAW data = Data(NIF_TIP);
    m_notify(NIM_MODIFY, &data);
}

void TrayIcon::SetInTray(bool inTray)
{
    if (inTray == m_inTray)
        return;
    m_inTray = inTray;
    NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    m_notify(inTray ? NIM_ADD : NIM_DELETE, &data);
}

void TrayIcon::PopUpMenu()
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, ExitCommand, Wide(texts::MenuExit).c_str());
    POINT pointer;
    GetCursorPos(&pointer);
    // The menu closes when the user clicks elsewhere only if its owner is in
    // the foreground while it is up, and a message follows its end.
    SetForegroundWindow(m_hwnd);
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_LEFTBUTTON, pointer.x, pointer.y, 0, m_hwnd, nullptr);
    PostMessageW(m_hwnd, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

LRESULT CALLBACK TrayIcon::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self = static_cast<TrayIcon *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<TrayIcon *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

LRESULT TrayIcon::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == CallbackMessage) {
        switch (LOWORD(lParam)) {
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            if (m_mouseButton)
                m_mouseButton();
            break;
        default:
            break;
        }
        return 0;
    }
    if (message == m_taskbarCreated && m_taskbarCreated != 0) {
        // The taskbar came back (Explorer restarted): the icon is gone there.
        if (m_inTray) {
            NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
            m_notify(NIM_ADD, &data);
        }
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == ExitCommand && HIWORD(wParam) == 0) {
        if (m_exitClick)
            m_exitClick();
        return 0;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}
