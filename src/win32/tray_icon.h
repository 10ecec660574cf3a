#pragma once

#include "platform.h"
#include "win32_defs.h"

#include <functional>
#include <shellapi.h>

// The icon in the notification area, on a hidden top-level window of its own
// (a message-only window would miss the taskbar's "TaskbarCreated"
// broadcast, after which the icon is added again).
class TrayIcon final : public Tray {
public:
    using NotifyFunction = BOOL(WINAPI *)(DWORD, PNOTIFYICONDATAW);
    static constexpr UINT CallbackMessage = WM_APP + 10;
    static constexpr UINT ExitCommand = 1;

    // `notify` is Shell_NotifyIconW, or a stand-in in tests.
    TrayIcon(HINSTANCE instance, HICON icon, NotifyFunction notify = &Shell_NotifyIconW);
    ~TrayIcon() override;
    TrayIcon(const TrayIcon &) = delete;
    TrayIcon &operator=(const TrayIcon &) = delete;

    // Any mouse button released on the icon; the menu's one item.
    void SetHandlers(std::function<void()> mouseButton, std::function<void()> exitClick)
    {
        m_mouseButton = std::move(mouseButton);
        m_exitClick = std::move(exitClick);
    }

    void SetToolTip(const Text &tip) override;
    void SetInTray(bool inTray) override;
    void PopUpMenu() override;

    HWND Handle() const { return m_hwnd; }
    bool InTray() const { return m_inTray; }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    NOTIFYICONDATAW Data(UINT flags) const;

    HWND m_hwnd = nullptr;
    HICON m_icon;
    NotifyFunction m_notify;
    UINT m_taskbarCreated;
    Text m_tip;
    bool m_inTray = false;
    std::function<void()> m_mouseButton, m_exitClick;
};
