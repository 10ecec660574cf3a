// What the front end does on the desktop beyond the dialog: the message
// boxes' kinds and owners, the tray icon and its menu, the link, the close
// box, the busy pointer, and replies that reach the fax server.
#include "front_end_harness.h"
#include "recipient.h"
#include "reply_encoding.h"
#include "texts.h"

#include <doctest/doctest.h>

namespace {
constexpr UINT kIconMask = MB_ICONMASK;
constexpr UINT kButtonMask = MB_TYPEMASK;
constexpr UINT kModalMask = MB_MODEMASK;

// Reads the popped-up menu while it is up, then closes it.
struct MenuReader {
    static inline std::vector<std::wstring> items;
    static inline std::vector<UINT> ids; // what choosing each item sends
    static inline bool seen = false;
    static inline int ticks = 0;
    static void CALLBACK Read(HWND, UINT, UINT_PTR id, DWORD)
    {
        ++ticks;
        HWND menuWindow = FindWindowW(L"#32768", nullptr);
        if (!menuWindow)
            return;
        KillTimer(nullptr, id);
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
        const int count = GetMenuItemCount(menu);
        for (int i = 0; i < count; ++i) {
            wchar_t text[200]{};
            GetMenuStringW(menu, UINT(i), text, 200, MF_BYPOSITION);
            items.push_back(text);
            ids.push_back(GetMenuItemID(menu, i));
        }
        seen = true;
        EndMenu();
    }
};
} // namespace

TEST_CASE_FIXTURE(FrontEndHarness, "no address book: the Outlook error box, then the closing notice, both modal to the program")
{
    book->cannotOpen = true;
    Start();
    REQUIRE(record.boxes.size() == 2);
    CHECK(record.boxes[0].text == Wide(texts::NoAddressBook));
    CHECK(record.boxes[0].title == L"Outlook error");
    CHECK((record.boxes[0].flags & kIconMask) == MB_ICONSTOP);
    CHECK((record.boxes[0].flags & kButtonMask) == MB_OK);
    // No dialog on screen: the box belongs to no window and holds the program.
    CHECK(record.boxes[0].owner == nullptr);
    CHECK((record.boxes[0].flags & kModalMask) == MB_TASKMODAL);
    CHECK(record.boxes[1].text == Wide(texts::ClosingNotice));
    CHECK(record.boxes[1].title == L"Corvane Tesk");
    CHECK((record.boxes[1].flags & kIconMask) == MB_ICONINFORMATION);
    CHECK((record.boxes[1].flags & kButtonMask) == MB_OK);
    CHECK(unloaded);
    CHECK(record.notifications.back().message == NIM_DELETE);
    CHECK(program->Socket().State() == Socket::Closed);
}

TEST_CASE_FIXTURE(FrontEndHarness, "the port taken at start: the bind error box with the port, then the closing notice")
{
    SOCKET taker = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(program->Socket().LocalPort());
    REQUIRE(bind(taker, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    REQUIRE(listen(taker, 1) == 0);
    Start();
    closesocket(taker);
    REQUIRE(record.boxes.size() == 2);
    CHECK(record.boxes[0].title == L"Error binding listening port");
    CHECK(record.boxes[0].text == L"Some other program may be binding port " +
                                      std::to_wstring(program->Socket().LocalPort()) +
                                      L".\r\nPlease clear this port and try again.");
    CHECK((record.boxes[0].flags & kIconMask) == MB_ICONSTOP);
    CHECK(record.boxes[1].text == Wide(texts::ClosingNotice));
    CHECK(unloaded);
}

TEST_CASE_FIXTURE(FrontEndHarness, "a typed number: the question box on the dialog, then the reply reaches the fax server byte for byte")
{
    Start();
    TestPeer peer;
    REQUIRE(Request(peer));
    SelectTab(0);
    Type(L"+49 (30) 1234-5");
    CHECK(IsWindowEnabled(Hwnd("btn_send")));
    record.answers = {IDCANCEL};
    Click("btn_send");
    REQUIRE(record.boxes.size() == 1);
    const BoxCall &question = record.boxes[0];
    CHECK(question.title == L"Fax transmission!");
    CHECK(question.text == Wide(texts::TypedNumberConfirmation(u"493012345")));
    CHECK((question.flags & kButtonMask) == MB_OKCANCEL);
    CHECK((question.flags & MB_DEFMASK) == MB_DEFBUTTON1);
    CHECK((question.flags & kIconMask) == 0);
    // The dialog is on screen: it owns the box and waits for it.
    CHECK(question.owner == program->Dialog().Handle());
    CHECK((question.flags & kModalMask) == MB_APPLMODAL);
    // Cancelled: nothing was sent and the session goes on.
    CHECK(program->Socket().State() == Socket::Connected);

    Click("btn_send");
    REQUIRE(PumpUntil([&] { return peer.Poll(); }));
    CHECK(peer.Received() == TypedNumberReply(u"493012345"));
    CHECK(peer.Received() == "493012345\r\n \r\n \r\n \r\n");
    CHECK_FALSE(peer.WasReset());
    CHECK_FALSE(IsWindowVisible(program->Dialog().Handle()));
    CHECK(PumpUntil([&] { return program->Socket().State() == Socket::Listening; }));
}

TEST_CASE_FIXTURE(FrontEndHarness, "a chosen contact's number reaches the fax server with the contact's entry, in the ANSI code page")
{
    book->items = {Contact("Zander", "Paul", "0301 11"), Company("Müller GmbH", "", "", "+49 303 33")};
    Start();
    TestPeer peer;
    REQUIRE(Request(peer));
    const auto texts = ListTexts();
    const Text listed = DisplayText(u"", u"", u"Müller GmbH");
    const auto entry = Wide(listed);
    const auto at = std::find(texts.begin(), texts.end(), entry);
    REQUIRE(at != texts.end());
    Choose(int(at - texts.begin()));
    SendMessageW(Hwnd("txt_outlookfaxno"), CB_SETCURSEL, 0, 0);
    Click("btn_send");
    REQUIRE(record.boxes.size() == 1);
    REQUIRE(PumpUntil([&] { return peer.Poll(); }));
    CHECK(peer.Received() == ContactReply(u"4930333", listed, [](TextView line) { return AnsiOrUtf8(line); }));
    if (GetACP() == 1252)
        CHECK(peer.Received().find("\r\nM\xfcller GmbH") != std::string::npos);
}

TEST_CASE_FIXTURE(FrontEndHarness, "Cancel and the close box send nothing and listen again; the program stays in the tray")
{
    Start();
    {
        TestPeer peer;
        REQUIRE(Request(peer));
        Click("btn_cancel");
        REQUIRE(PumpUntil([&] { return peer.Poll(); }));
        CHECK(peer.Received().empty());
        CHECK_FALSE(peer.WasReset());
    }
    {
        TestPeer peer;
        REQUIRE(Request(peer));
        SendMessageW(program->Dialog().Handle(), WM_CLOSE, 0, 0);
        REQUIRE(PumpUntil([&] { return peer.Poll(); }));
        CHECK(peer.Received().empty());
        CHECK_FALSE(IsWindowVisible(program->Dialog().Handle()));
        CHECK(IsWindow(program->Dialog().Handle()));
    }
    CHECK_FALSE(unloaded);
    CHECK(record.boxes.empty());
    CHECK(PumpUntil([&] { return program->Socket().State() == Socket::Listening; }));
}

TEST_CASE_FIXTURE(FrontEndHarness, "the tray icon: shown with its tooltip before start-up, back when the taskbar is, one menu item")
{
    // Shown as the window is made, before the address book is opened.
    REQUIRE(record.notifications.size() == 1);
    const NotifyCall added = record.notifications[0];
    CHECK(added.message == NIM_ADD);
    CHECK(added.tip == Wide(texts::TrayTip));
    CHECK(added.icon != nullptr);
    CHECK((added.flags & (NIF_ICON | NIF_TIP | NIF_MESSAGE)) == (NIF_ICON | NIF_TIP | NIF_MESSAGE));
    CHECK(added.window == program->Tray().Handle());
    // Not the window's icon: the tray has its own picture.
    CHECK(added.icon != reinterpret_cast<HICON>(GetClassLongPtrW(program->Dialog().Handle(), GCLP_HICONSM)));
    Start();

    // Explorer restarted: the icon is added again, the same way.
    SendMessageW(program->Tray().Handle(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    REQUIRE(record.notifications.size() == 2);
    CHECK(record.notifications[1].message == NIM_ADD);
    CHECK(record.notifications[1].tip == Wide(texts::TrayTip));

    // Any button released on the icon pops up the menu with its one item.
    for (const UINT button : {WM_RBUTTONUP, WM_LBUTTONUP}) {
        MenuReader::items.clear();
        MenuReader::ids.clear();
        MenuReader::seen = false;
        SetTimer(nullptr, 0, 20, &MenuReader::Read);
        SendMessageW(program->Tray().Handle(), added.callbackMessage, 1, button);
        CAPTURE(MenuReader::ticks);
        CHECK(MenuReader::seen);
        CHECK(MenuReader::items == std::vector<std::wstring>{Wide(texts::MenuExit)});
    }
    CHECK(record.boxes.empty());

    // Its item, as the menu reports it chosen: the closing notice, the icon
    // goes, the program ends.
    REQUIRE(MenuReader::ids.size() == 1);
    SendMessageW(program->Tray().Handle(), WM_COMMAND, MAKEWPARAM(MenuReader::ids[0], 0), 0);
    REQUIRE(record.boxes.size() == 1);
    CHECK(record.boxes[0].text == Wide(texts::ClosingNotice));
    CHECK(record.notifications.back().message == NIM_DELETE);
    CHECK(unloaded);
    // Gone from the tray, the taskbar's return does not bring it back.
    const size_t before = record.notifications.size();
    SendMessageW(program->Tray().Handle(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    CHECK(record.notifications.size() == before);
}

TEST_CASE_FIXTURE(FrontEndHarness, "the About link: one ShellExecuteA call with the six arguments, bound once, failures silent")
{
    Start();
    HWND link = Hwnd("lbl_starthomepage");
    CHECK(HasStyle("lbl_starthomepage", SS_NOTIFY));
    const int id = GetDlgCtrlID(link);
    SendMessageW(program->Dialog().Handle(), WM_COMMAND, MAKEWPARAM(id, STN_CLICKED), reinterpret_cast<LPARAM>(link));
    REQUIRE(record.shellCalls.size() == 1);
    const ShellCall &call = record.shellCalls[0];
    CHECK(call.owner == nullptr);
    CHECK(call.nullOperation);
    CHECK(call.file == "http://corvane.example/fax/");
    CHECK(call.nullParameters);
    CHECK(call.nullDirectory);
    CHECK(call.show == SW_SHOWNORMAL);
    // In the ANSI code page: one byte for a letter that code page has.
    program->Logic().OpenURL(u"http://corvane.example/f\u00fcr/");
    REQUIRE(record.shellCalls.size() == 2);
    char expected = 0;
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, 0, L"\u00fc", 1, &expected, 1, nullptr, &lossy);
    if (!lossy)
        CHECK(record.shellCalls[1].file == std::string("http://corvane.example/f") + expected + "r/");
    CHECK(record.shellBinds == 1);
    CHECK(record.boxes.empty());

    // The pointer over the link is a hand.
    SendMessageW(program->Dialog().Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link), HTCLIENT);
    CHECK(GetCursor() == LoadCursorW(nullptr, IDC_HAND));
}

TEST_CASE_FIXTURE(FrontEndHarness, "the About link with no shell to reach shows nothing and leaves the dialog as it was")
{
    record.shellMissing = true;
    Start();
    program->Logic().lbl_starthomepage_Click();
    program->Logic().lbl_starthomepage_Click();
    CHECK(record.shellCalls.empty());
    CHECK(record.shellBinds == 1);
    CHECK(record.boxes.empty());
    CHECK_FALSE(unloaded);
}

TEST_CASE_FIXTURE(FrontEndHarness, "the busy pointer covers the whole dialog while contacts load, and goes")
{
    HWND window = program->Dialog().Handle();
    program->Dialog().SetBusyPointer(true);
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(Hwnd("addressList")), HTCLIENT);
    CHECK(GetCursor() == LoadCursorW(nullptr, IDC_WAIT));
    program->Dialog().SetBusyPointer(false);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    CHECK(SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(Hwnd("addressList")), HTCLIENT) == FALSE);
    CHECK(GetCursor() == LoadCursorW(nullptr, IDC_ARROW));
    // After a request has loaded, the pointer is no longer busy.
    Start();
    TestPeer peer;
    REQUIRE(Request(peer));
    CHECK_FALSE(program->Dialog().Busy());
}
