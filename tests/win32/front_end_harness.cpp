#include "front_end_harness.h"

#include <commctrl.h>
#include <doctest/doctest.h>

namespace {
int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR title, UINT flags)
{
    auto &record = SystemRecord::Current();
    record.boxes.push_back(BoxCall{owner, text, title, flags});
    if (record.answers.empty())
        return IDOK;
    const int answer = record.answers.front();
    record.answers.pop_front();
    return answer;
}

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAW data)
{
    SystemRecord::Current().notifications.push_back(
        NotifyCall{message, data->hWnd, data->uFlags, data->uCallbackMessage, data->hIcon, data->szTip});
    return TRUE;
}

HINSTANCE WINAPI RecordShell(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                             INT show)
{
    SystemRecord::Current().shellCalls.push_back(
        ShellCall{owner, operation == nullptr, file ? file : "", parameters == nullptr, directory == nullptr, show});
    return reinterpret_cast<HINSTANCE>(INT_PTR(42));
}
} // namespace

SystemRecord &SystemRecord::Current()
{
    static SystemRecord record;
    return record;
}

FrontEndHarness::FrontEndHarness() : record(SystemRecord::Current())
{
    record = SystemRecord{};
    SystemCalls calls;
    calls.messageBox = &RecordBox;
    calls.notifyIcon = &RecordNotify;
    calls.bindShellExecute = [] {
        auto &record = SystemRecord::Current();
        ++record.shellBinds;
        return record.shellMissing ? nullptr : &RecordShell;
    };
    auto book = this->book;
    program = std::make_unique<FrontEnd>(GetModuleHandleW(nullptr), FreePort(),
                                         [book] { return std::make_unique<FakeContactStore>(book); }, calls);
    program->SetOnQuit([this] { unloaded = true; });
}

FrontEndHarness::~FrontEndHarness()
{
    program.reset();
    // Whatever the window left queued goes before the next test.
    PumpUntil([] { return false; }, std::chrono::milliseconds(0));
}

void FrontEndHarness::Start()
{
    program->Logic().Form_Load();
}

bool FrontEndHarness::Request(TestPeer &peer)
{
    if (!peer.Connect(program->Socket().LocalPort()))
        return false;
    return PumpUntil([this] { return program->Socket().State() == Socket::Connected; });
}

RECT FrontEndHarness::ClientRect(std::string_view name) const
{
    RECT rect{};
    GetWindowRect(Hwnd(name), &rect);
    MapWindowPoints(nullptr, program->Dialog().Handle(), reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

bool FrontEndHarness::HasStyle(std::string_view name, DWORD style) const
{
    return (DWORD(GetWindowLongPtrW(Hwnd(name), GWL_STYLE)) & style) == style;
}

void FrontEndHarness::SelectTab(int page)
{
    // What a click on the tab does: the control asks, changes and tells.
    SendMessageW(Hwnd("tab_addressselect"), TCM_SETCURFOCUS, WPARAM(page), 0);
    REQUIRE(SendMessageW(Hwnd("tab_addressselect"), TCM_GETCURSEL, 0, 0) == page);
}

void FrontEndHarness::Choose(int index)
{
    HWND list = Hwnd("addressList");
    RECT item{};
    SendMessageW(list, LB_SETTOPINDEX, WPARAM(index), 0);
    REQUIRE(SendMessageW(list, LB_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&item)) != LB_ERR);
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
    REQUIRE(SendMessageW(list, LB_GETCURSEL, 0, 0) == index);
}

void FrontEndHarness::Type(const std::wstring &text)
{
    HWND edit = Hwnd("txt_faxno");
    for (wchar_t c : text)
        SendMessageW(edit, WM_CHAR, WPARAM(c), 1);
}

void FrontEndHarness::Click(std::string_view button)
{
    SendMessageW(Hwnd(button), BM_CLICK, 0, 0);
}

std::vector<std::wstring> FrontEndHarness::ListTexts() const
{
    HWND list = Hwnd("addressList");
    std::vector<std::wstring> texts;
    const int count = int(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring text(size_t(SendMessageW(list, LB_GETTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
        text.resize(size_t(SendMessageW(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text.data()))));
        texts.push_back(text);
    }
    return texts;
}

std::string_view FrontEndHarness::FocusName() const
{
    HWND focus = GetFocus();
    for (const ControlSpec &control : ControlTable()) {
        HWND hwnd = Hwnd(control.name);
        if (hwnd && (hwnd == focus || IsChild(hwnd, focus)))
            return control.name;
    }
    return focus == program->Dialog().Handle() ? "frm_outlook" : "(elsewhere)";
}

void FrontEndHarness::PressTab(bool shift)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE oldShift = keys[VK_SHIFT];
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG message{};
    message.hwnd = GetFocus();
    message.message = WM_KEYDOWN;
    message.wParam = VK_TAB;
    message.lParam = 1;
    if (!program->PreTranslate(message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    keys[VK_SHIFT] = oldShift;
    SetKeyboardState(keys);
}
