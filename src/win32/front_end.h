#pragma once

#include "dialog_window.h"
#include "frm_outlook.h"
#include "message_boxes.h"
#include "session_end.h"
#include "tray_icon.h"
#include "url_opener.h"
#include "win_timer.h"
#include "winsock_socket.h"

#include <functional>
#include <memory>

// The system functions the front end calls through, replaceable in tests.
struct SystemCalls {
    WinMessageBoxes::MessageBoxFunction messageBox = &MessageBoxW;
    TrayIcon::NotifyFunction notifyIcon = &Shell_NotifyIconW;
    ShellUrlOpener::Binder bindShellExecute = &ShellUrlOpener::BindShellExecuteA;
};

// The whole Windows program but its entry point: the dialog, the tray icon,
// the socket, boxes, link and timer, wired to the logic's handlers.
class FrontEnd {
public:
    FrontEnd(HINSTANCE instance, uint16_t port, std::function<std::unique_ptr<ContactStore>()> openAddressBook,
             SystemCalls calls = {});
    ~FrontEnd();
    FrontEnd(const FrontEnd &) = delete;
    FrontEnd &operator=(const FrontEnd &) = delete;

    frm_outlook &Logic() { return *m_logic; }
    DialogWindow &Dialog() { return m_dialog; }
    TrayIcon &Tray() { return m_tray; }
    WinsockSocket &Socket() { return m_socket; }
    SessionEndWindow &SessionEnd() { return m_sessionEnd; }
    // What ends the message loop once the window has unloaded (tests replace
    // it); the socket is closed and silenced first.
    void SetOnQuit(std::function<void()> onQuit) { m_onQuit = std::move(onQuit); }

    // Gives the dialog its keyboard handling; true when the message is done.
    bool PreTranslate(MSG &message) { return m_dialog.PreTranslate(message); }
    // The message loop, until the window unloads.
    int Run();

private:
    DialogWindow m_dialog;
    TrayIcon m_tray;
    WinsockSocket m_socket;
    WinMessageBoxes m_boxes;
    ShellUrlOpener m_urls;
    WinTimer m_timer;
    SessionEndWindow m_sessionEnd;
    std::function<void()> m_onQuit = [] { PostQuitMessage(0); };
    std::unique_ptr<frm_outlook> m_logic;
};
