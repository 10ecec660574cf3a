// tesk_driver: does what a user does with the running program, from another
// process in the same Wine prefix, and prints what it sees (UTF-8, LF).
//   wait-dialog           until the dialog is on screen
//   wait-hidden           until it is not
//   list                  the contact list's entries, one a line
//   choose TEXT           selects the entry, as a click does
//   tab N                 selects page N, as a click on its tab does
//   type TEXT             types into the fax number box
//   combo N               picks entry N of the fax number list
//   click NAME            presses the button
//   box OK|Cancel         waits for a message box of the program, prints
//                         "TITLE|TEXT|ICON" and answers it
//   tray-exit             opens the tray menu and picks its one item
//   end-session           tells the program the desktop session ends, as a
//                         logoff does
//   hold-port N           another program on port N: listens until killed
// Each waits at most 60 seconds; exit status 1 when it gave up.
#include "dialog_window.h"

#include <chrono>
#include <commctrl.h>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <io.h>
#include <string>
#include <string_view>
#include <vector>

namespace {
bool WaitFor(const std::function<bool()> &done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        Sleep(20);
    }
    return true;
}

void Print(const std::wstring &line)
{
    std::string utf8 = ToUtf8(FromWide(line));
    utf8 += '\n';
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

std::wstring Argument(const wchar_t *text)
{
    // Wine hands the command line over as UTF-8 read in the ANSI code page:
    // the driver takes its text arguments as UTF-8 in \x escapes instead.
    std::string bytes;
    for (const wchar_t *c = text; *c; ++c) {
        if (c[0] == L'\\' && c[1] == L'x' && c[2] && c[3]) {
            bytes += char(std::stoi(std::wstring(c + 2, 2), nullptr, 16));
            c += 3;
        } else {
            bytes += char(*c);
        }
    }
    return Wide(FromUtf8(bytes));
}

// The program's window of the class: one in a process of corvane-tesk.exe,
// not of a test that makes windows of the same classes.
HWND ProgramWindow(const wchar_t *className)
{
    struct Search {
        const wchar_t *className;
        HWND found = nullptr;
    } search{className};
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto *search = reinterpret_cast<Search *>(data);
            wchar_t name[64]{};
            GetClassNameW(hwnd, name, 64);
            if (std::wstring_view(name) != search->className)
                return TRUE;
            DWORD process = 0;
            GetWindowThreadProcessId(hwnd, &process);
            HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
            if (!handle)
                return TRUE;
            wchar_t image[MAX_PATH]{};
            DWORD size = MAX_PATH;
            const bool program = QueryFullProcessImageNameW(handle, 0, image, &size)
                && std::wstring_view(image, size).ends_with(L"\\corvane-tesk.exe");
            CloseHandle(handle);
            if (!program)
                return TRUE;
            search->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Dialog()
{
    return ProgramWindow(L"CorvaneTeskDialog");
}

HWND Item(const char *name)
{
    return GetDlgItem(Dialog(), ControlId(name));
}

std::wstring Text(HWND hwnd)
{
    wchar_t text[4096]{};
    SendMessageW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

// A message box of the program: a dialog of the system's box class in the
// program's process.
HWND FindBox()
{
    struct Search {
        DWORD process;
        HWND found = nullptr;
    } search{};
    HWND dialog = Dialog();
    if (!dialog)
        return nullptr;
    GetWindowThreadProcessId(dialog, &search.process);
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto *search = reinterpret_cast<Search *>(data);
            wchar_t name[64]{};
            GetClassNameW(hwnd, name, 64);
            DWORD process = 0;
            GetWindowThreadProcessId(hwnd, &process);
            if (std::wstring(name) == L"#32770" && process == search->process && IsWindowVisible(hwnd)) {
                search->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int AnswerBox(const std::wstring &answer)
{
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = FindBox()) != nullptr; }))
        return 1;
    std::wstring text, icon = L"none";
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64]{};
        GetClassNameW(child, name, 64);
        if (std::wstring(name) != L"Static")
            continue;
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            // The box's icon place is there even when it shows none.
            if (IsWindowVisible(child) && SendMessageW(child, STM_GETICON, 0, 0) != 0)
                icon = L"icon";
        }
        else if (text.empty())
            text = Text(child);
    }
    std::wstring buttons;
    for (const int id : {IDOK, IDCANCEL, IDYES, IDNO})
        if (HWND button = GetDlgItem(box, id); button && IsWindowVisible(button))
            buttons += (buttons.empty() ? L"" : L",") + Text(button);
    Print(Text(box) + L"|" + text + L"|" + icon + L"|" + buttons);
    const int id = answer == L"Cancel" ? IDCANCEL : IDOK;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    return WaitFor([&] { return !IsWindow(box); }) ? 0 : 1;
}

// What the system sends every program's top-level windows at logoff.
int EndSession()
{
    HWND watcher = ProgramWindow(L"CorvaneTeskSessionEnd");
    if (!watcher || SendMessageW(watcher, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == FALSE)
        return 1;
    SendMessageW(watcher, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    return 0;
}

int TrayExit()
{
    HWND tray = ProgramWindow(L"CorvaneTeskTray");
    if (!tray)
        return 1;
    // What the notification area sends when a button is released on the icon.
    PostMessageW(tray, WM_APP + 10, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    if (!WaitFor([&] { return (menu = ProgramWindow(L"#32768")) != nullptr && IsWindowVisible(menu); }))
        return 1;
    // The menu's one item, chosen from the keyboard.
    PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    return 0;
}
} // namespace

int wmain(int argc, wchar_t **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2)
        return 2;
    const std::wstring command = argv[1];
    const std::wstring argument = argc > 2 ? Argument(argv[2]) : L"";
    if (command == L"wait-dialog")
        return WaitFor([] { return Dialog() && IsWindowVisible(Dialog()); }) ? 0 : 1;
    if (command == L"wait-hidden")
        return WaitFor([] { return !Dialog() || !IsWindowVisible(Dialog()); }) ? 0 : 1;
    if (command == L"list") {
        HWND list = Item("addressList");
        // Filled and enabled again once the contacts are in.
        if (!WaitFor([&] { return IsWindowEnabled(list) != FALSE; }))
            return 1;
        const int count = int(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[1024]{};
            SendMessageW(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
            Print(text);
        }
        return 0;
    }
    if (command == L"choose") {
        HWND list = Item("addressList");
        const LRESULT index = SendMessageW(list, LB_FINDSTRINGEXACT, WPARAM(-1),
                                           reinterpret_cast<LPARAM>(argument.c_str()));
        if (index == LB_ERR)
            return 1;
        SendMessageW(list, LB_SETCURSEL, WPARAM(index), 0);
        // What the list tells its window when the user clicks an entry.
        SendMessageW(Dialog(), WM_COMMAND, MAKEWPARAM(ControlId("addressList"), LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        return 0;
    }
    if (command == L"tab") {
        SendMessageW(Item("tab_addressselect"), TCM_SETCURFOCUS, WPARAM(std::stoi(argument)), 0);
        return 0;
    }
    if (command == L"type") {
        for (wchar_t c : argument)
            SendMessageW(Item("txt_faxno"), WM_CHAR, WPARAM(c), 1);
        return 0;
    }
    if (command == L"combo") {
        SendMessageW(Item("txt_outlookfaxno"), CB_SETCURSEL, WPARAM(std::stoi(argument)), 0);
        return 0;
    }
    if (command == L"click") {
        HWND button = GetDlgItem(Dialog(), ControlId(ToUtf8(FromWide(argument))));
        if (!WaitFor([&] { return IsWindowEnabled(button) != FALSE; }))
            return 1;
        // Posted: the click may open a box that waits for an answer.
        PostMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"box")
        return AnswerBox(argument);
    if (command == L"tray-exit")
        return TrayExit();
    if (command == L"end-session")
        return EndSession();
    if (command == L"hold-port") {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(u_short(std::stoi(argument)));
        if (bind(holder, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(holder, 1) != 0)
            return 1;
        Sleep(INFINITE);
    }
    return 2;
}
