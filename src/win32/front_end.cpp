#include "front_end.h"

#include "reply_encoding.h"
#include "resource_ids.h"

namespace {
HICON TrayIconImage(HINSTANCE instance)
{
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}
} // namespace

FrontEnd::FrontEnd(HINSTANCE instance, uint16_t port,
                   std::function<std::unique_ptr<ContactStore>()> openAddressBook, SystemCalls calls)
    : m_dialog(instance), m_tray(instance, TrayIconImage(instance), calls.notifyIcon), m_socket(port),
      m_boxes([this] { return m_dialog.Visible() ? m_dialog.Handle() : nullptr; }, calls.messageBox),
      m_urls(std::move(calls.bindShellExecute)), m_sessionEnd(instance)
{
    m_logic = std::make_unique<frm_outlook>(Platform{
        m_dialog.Controls(),
        m_socket,
        m_tray,
        m_boxes,
        m_urls,
        m_timer,
        std::move(openAddressBook),
        [](TextView line) { return AnsiOrUtf8(line); },
    });
    frm_outlook &logic = *m_logic;
    m_socket.SetEvents(&logic);
    m_timer.SetTick([&logic] { logic.tmr_relisten_Timer(); });
    // Socket events already queued behind the unload would reach a logic that
    // has let go of its address book: the socket goes quiet first. A request
    // still open is closed without a byte.
    m_dialog.SetOnUnload([this] {
        m_socket.SetEvents(nullptr);
        m_socket.Close();
        if (m_onQuit)
            m_onQuit();
    });
    // Logoff and shutdown end the program as a termination signal would.
    m_sessionEnd.SetOnSessionEnd([&logic] { logic.Unload(); });
    m_tray.SetHandlers([&logic] { logic.st_MouseButton(); }, [&logic] { logic.mnu_exit_Click(); });
    m_dialog.SetHandlers(DialogHandlers{
        [&logic] { logic.btn_send_Click(); },
        [&logic] { logic.btn_cancel_Click(); },
        [&logic] { logic.addressList_Click(); },
        [&logic] { logic.txt_faxno_Change(); },
        [&logic] { logic.lbl_starthomepage_Click(); },
        [&logic] { logic.Form_QueryUnload(); },
        [&logic](int previousTab) { logic.tab_addressselect_Click(previousTab); },
    });
}

FrontEnd::~FrontEnd()
{
    m_socket.SetEvents(nullptr);
    m_dialog.SetHandlers({});
    m_tray.SetHandlers({}, {});
    m_timer.SetTick({});
    m_sessionEnd.SetOnSessionEnd({});
    m_logic.reset();
}

int FrontEnd::Run()
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslate(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return int(message.wParam);
}
