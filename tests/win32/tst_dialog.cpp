// The dialog as the user sees it: laid out from the control table at the
// window's dpi, one page at a time, the list sorted with each entry's
// contact kept, the keyboard focus in the designed order.
#include "front_end_harness.h"
#include "layout.h"
#include "recipient.h"
#include "texts.h"

#include <algorithm>
#include <commctrl.h>
#include <doctest/doctest.h>

namespace {
// Where the table puts a control in the client area, in twips.
POINT TableOrigin(const ControlSpec &control)
{
    POINT at{control.left, control.top};
    for (auto outer = ContainerControl(control.container); !outer.empty();) {
        const ControlSpec &container = Control(outer);
        at.x += container.left;
        at.y += container.top;
        outer = ContainerControl(container.container);
    }
    return at;
}

LOGFONTW FontOf(HWND hwnd)
{
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

bool Shown(HWND hwnd)
{
    return (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

const std::vector<std::string_view> kHiddenLabels = {"lbl_recipient", "lbl_businessfaxno", "lbl_homefaxno",
                                                      "lbl_otherfaxno", "Label10", "Label3", "lbl_of", "lbl_connect"};
} // namespace

TEST_CASE_FIXTURE(FrontEndHarness, "the window and every control lie where the table puts them, at 96 and 144 dpi")
{
    for (const int dpi : {96, 144}) {
        CAPTURE(dpi);
        // What the system sends when the window moves to a screen of that dpi.
        RECT suggested{10, 10, 20, 20};
        SendMessageW(program->Dialog().Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT client{};
        GetClientRect(program->Dialog().Handle(), &client);
        CHECK(client.right == TwipsToPixels(WindowLayout().clientWidth, dpi));
        CHECK(client.bottom == TwipsToPixels(WindowLayout().clientHeight, dpi));
        for (const ControlSpec &control : ControlTable()) {
            if (control.name == "st" || control.name == "wsk_connect")
                continue;
            CAPTURE(control.name);
            HWND hwnd = Hwnd(control.name);
            REQUIRE(hwnd != nullptr);
            const POINT at = TableOrigin(control);
            const RECT rect = ClientRect(control.name);
            CHECK(rect.left == TwipsToPixels(at.x, dpi));
            CHECK(rect.top == TwipsToPixels(at.y, dpi));
            CHECK(rect.right - rect.left == TwipsToPixels(control.width, dpi));
            // A closed drop-down list is as high as its font lets it be.
            if (control.kind == ControlKind::ComboBox) {
                CHECK(std::abs(rect.bottom - rect.top - TwipsToPixels(control.height, dpi)) <= 2);
                // Dropped, it has room below for its three entries at least.
                RECT dropped{};
                SendMessageW(hwnd, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
                const int entry = int(SendMessageW(hwnd, CB_GETITEMHEIGHT, 0, 0));
                CHECK(dropped.bottom - dropped.top - (rect.bottom - rect.top) >= 3 * entry);
            } else
                CHECK(rect.bottom - rect.top == TwipsToPixels(control.height, dpi));
            if (!control.font.IsDefault()) {
                const LOGFONTW font = FontOf(hwnd);
                CHECK(font.lfHeight == -int(control.font.points * dpi / 72.0 + 0.5));
                CHECK((font.lfWeight >= FW_BOLD) == ((control.font.style & Bold) != 0));
                CHECK((font.lfItalic != 0) == ((control.font.style & Italic) != 0));
                CHECK(std::wstring(font.lfFaceName) == Wide(control.font.face));
            }
        }
        // The tab control spills past both sides of the client area.
        const RECT tab = ClientRect("tab_addressselect");
        CHECK(tab.left < 0);
        CHECK(tab.right > client.right);
    }
    // The licence box keeps the dialog font, as the system gives it.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    CHECK(std::wstring(FontOf(Hwnd("Text1")).lfFaceName) == metrics.lfMessageFont.lfFaceName);
}

TEST_CASE_FIXTURE(FrontEndHarness, "the window: its caption, a fixed size, centred on its first showing only")
{
    HWND window = program->Dialog().Handle();
    wchar_t caption[100]{};
    GetWindowTextW(window, caption, 100);
    CHECK(std::wstring(caption) == Wide(texts::WindowCaption));
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    CHECK((style & WS_THICKFRAME) == 0);
    CHECK((style & WS_MAXIMIZEBOX) == 0);
    CHECK((style & WS_SYSMENU) != 0);
    CHECK((SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0 || GetClassLongPtrW(window, GCLP_HICON) != 0));

    Start();
    TestPeer peer;
    REQUIRE(Request(peer));
    CHECK(IsWindowVisible(window));
    RECT shown{};
    GetWindowRect(window, &shown);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    CHECK(std::abs((shown.left + shown.right) - (monitor.rcWork.left + monitor.rcWork.right)) <= 2);
    CHECK(std::abs((shown.top + shown.bottom) - (monitor.rcWork.top + monitor.rcWork.bottom)) <= 2);
    CHECK(GetForegroundWindow() == window);
    CHECK(IsChild(window, GetFocus()));

    // The user moves it; the next request shows it where it was left.
    SetWindowPos(window, nullptr, 7, 9, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Click("btn_cancel");
    CHECK_FALSE(IsWindowVisible(window));
    REQUIRE(PumpUntil([&] { return peer.Poll(); }));
    TestPeer second;
    REQUIRE(Request(second));
    RECT again{};
    GetWindowRect(window, &again);
    CHECK(again.left == 7);
    CHECK(again.top == 9);
}

TEST_CASE_FIXTURE(FrontEndHarness, "only the selected page's controls show, and the hidden labels never do")
{
    Start();
    TestPeer peer;
    REQUIRE(Request(peer));
    CHECK(SendMessageW(Hwnd("tab_addressselect"), TCM_GETCURSEL, 0, 0) == InitialPage);
    for (const int page : {1, 0, 2, 1}) {
        CAPTURE(page);
        SelectTab(page);
        for (const ControlSpec &control : ControlTable()) {
            const int onPage = control.container == Container::TypedNumberPage   ? 0
                               : control.container == Container::AddressBookPage ? 1
                               : control.container == Container::AboutPage || control.container == Container::Frame1 ||
                                       control.container == Container::Frame2 || control.container == Container::Frame3
                                   ? 2
                                   : -1;
            if (onPage < 0 || control.hidden)
                continue;
            CAPTURE(control.name);
            CHECK(Shown(Hwnd(control.name)) == (onPage == page));
        }
        for (std::string_view name : kHiddenLabels)
            CHECK_FALSE(Shown(Hwnd(name)));
        // The tab rule follows: the About page never sends.
        if (page == 2)
            CHECK_FALSE(IsWindowEnabled(Hwnd("btn_send")));
    }
    // A chosen contact writes the holder values; still nothing shows.
    book->items = {Contact("Adler", "Eva", "0301", "0302", "0303")};
    Click("btn_cancel");
    REQUIRE(PumpUntil([&] { return peer.Poll(); }));
    TestPeer second;
    REQUIRE(Request(second));
    Choose(0);
    CHECK(program->Logic().lbl_businessfaxno() == u"0301");
    for (std::string_view name : kHiddenLabels)
        CHECK_FALSE(Shown(Hwnd(name)));
}

TEST_CASE_FIXTURE(FrontEndHarness, "the list is sorted, each entry keeps its contact, and choosing one offers its numbers")
{
    book->items = {Contact("Zander", "Paul", "0301 11"), Contact("Adler", "Eva", "", "0302 22"),
                   Company("Müller GmbH", "", "", "0303 33"), Contact("Meier", "Jo")};
    Start();
    TestPeer peer;
    REQUIRE(Request(peer));
    const auto texts = ListTexts();
    REQUIRE(texts.size() == 4);
    CHECK(std::is_sorted(texts.begin(), texts.end(), [](const std::wstring &a, const std::wstring &b) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
    }));
    CHECK(texts.front() == Wide(DisplayText(u"Adler", u"Eva", u"")));
    // Each entry's number is the contact's position in the folder.
    HWND list = Hwnd("addressList");
    for (int i = 0; i < 4; ++i) {
        const auto position = int32_t(SendMessageW(list, LB_GETITEMDATA, WPARAM(i), 0));
        REQUIRE(position >= 1);
        REQUIRE(position <= 4);
        const FakeContact &contact = book->items[size_t(position - 1)];
        CHECK(texts[size_t(i)] == Wide(DisplayText(contact.lastName, contact.firstName, contact.companyName)));
    }
    CHECK(IsWindowEnabled(list));
    CHECK_FALSE(IsWindowEnabled(Hwnd("btn_send")));
    const auto zander = std::find(texts.begin(), texts.end(), Wide(DisplayText(u"Zander", u"Paul", u"")));
    Choose(int(zander - texts.begin()));
    HWND combo = Hwnd("txt_outlookfaxno");
    CHECK(SendMessageW(combo, CB_GETCOUNT, 0, 0) == 1);
    CHECK(SendMessageW(combo, CB_GETCURSEL, 0, 0) == 0);
    CHECK(IsWindowEnabled(Hwnd("btn_send")));
    // The user cannot type into the combo box: it is a drop-down list.
    CHECK((GetWindowLongPtrW(combo, GWL_STYLE) & 3) == CBS_DROPDOWNLIST);
}

TEST_CASE_FIXTURE(FrontEndHarness, "Tab and Shift+Tab follow the designed focus order, skipping what cannot take it")
{
    book->items = {Contact("Adler", "Eva", "0301")};
    Start();
    TestPeer peer;
    REQUIRE(Request(peer));
    SetFocus(Hwnd("tab_addressselect"));
    // Page 1, Send disabled: the list and the combo box, then Cancel.
    std::vector<std::string_view> seen;
    for (int i = 0; i < 4; ++i) {
        PressTab();
        seen.push_back(FocusName());
    }
    CHECK(seen == std::vector<std::string_view>{"addressList", "txt_outlookfaxno", "btn_cancel", "tab_addressselect"});
    PressTab(true);
    CHECK(FocusName() == "btn_cancel");

    SelectTab(0);
    Type(L"5");
    SetFocus(Hwnd("btn_send"));
    seen.clear();
    for (int i = 0; i < 4; ++i) {
        PressTab();
        seen.push_back(FocusName());
    }
    CHECK(seen == std::vector<std::string_view>{"tab_addressselect", "txt_faxno", "btn_cancel", "btn_send"});

    SelectTab(2);
    SetFocus(Hwnd("tab_addressselect"));
    PressTab();
    CHECK(FocusName() == "Text1");
    // The licence can be read and scrolled, not changed.
    CHECK(HasStyle("Text1", ES_MULTILINE | ES_READONLY | WS_VSCROLL));
    CHECK(GetWindowTextLengthW(Hwnd("Text1")) > 1000);
}

TEST_CASE_FIXTURE(FrontEndHarness, "an unchanged address book is refilled as the list first sorted it, each entry with its contact")
{
    // Sorted by the list, not by code order: small and capital letters mixed.
    book->items = {Contact("zeta", "Al"), Contact("Beta", "Bo", "0301"), Contact("alpha", "Cy"), Contact("Gamma", "")};
    Start();
    HWND list = Hwnd("addressList");
    const auto entries = [&] {
        std::vector<std::pair<std::wstring, LRESULT>> shown;
        const auto texts = ListTexts();
        for (size_t i = 0; i < texts.size(); ++i)
            shown.emplace_back(texts[i], SendMessageW(list, LB_GETITEMDATA, WPARAM(i), 0));
        return shown;
    };
    std::vector<std::pair<std::wstring, LRESULT>> first;
    for (int request = 1; request <= 3; ++request) {
        CAPTURE(request);
        TestPeer peer;
        const int reads = book->itemReads;
        REQUIRE(Request(peer));
        if (request == 1) {
            first = entries();
            REQUIRE(first.size() == 4);
            CHECK(first.front().first == L"alpha, Cy");
        } else {
            CHECK(book->itemReads == reads);
            CHECK(entries() == first);
        }
        Choose(int(std::find_if(first.begin(), first.end(), [](const auto &e) { return e.first == L"Beta, Bo"; })
                   - first.begin()));
        CHECK(SendMessageW(Hwnd("txt_outlookfaxno"), CB_GETCOUNT, 0, 0) == 1);
        Click("btn_cancel");
        REQUIRE(PumpUntil([&] { return peer.Poll(); }));
    }
}
