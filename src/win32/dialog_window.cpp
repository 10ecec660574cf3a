#include "dialog_window.h"

#include "controls.h"
#include "resource_ids.h"
#include "texts.h"

#include <algorithm>
#include <commctrl.h>
#include <uxtheme.h>

namespace {
constexpr wchar_t kClassName[] = L"CorvaneTeskDialog";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
constexpr int kFirstId = 100;

int PageOf(Container container)
{
    switch (container) {
    case Container::TypedNumberPage:
        return 0;
    case Container::AddressBookPage:
        return 1;
    case Container::AboutPage:
    case Container::Frame1:
    case Container::Frame2:
    case Container::Frame3:
        return 2;
    default:
        return -1;
    }
}

bool Contains(const ControlSpec &container, const ControlSpec &control)
{
    return ContainerControl(control.container) == container.name;
}

// The control's top-left corner in the window's client area, in twips.
POINT AbsoluteTwips(const ControlSpec &control)
{
    POINT at{control.left, control.top};
    for (std::string_view outer = ContainerControl(control.container); !outer.empty();) {
        const ControlSpec &container = Control(outer);
        at.x += container.left;
        at.y += container.top;
        outer = ContainerControl(container.container);
    }
    return at;
}

// Front to back: each control lies in front of the container holding it,
// and siblings keep the table's order.
void StackOrder(const ControlSpec *container, std::vector<const ControlSpec *> &order)
{
    for (const ControlSpec &control : ControlTable()) {
        const bool inside = container ? Contains(*container, control) : control.container == Container::Window;
        if (!inside)
            continue;
        StackOrder(&control, order);
        order.push_back(&control);
    }
}

int Rounded(double value)
{
    return int(value >= 0 ? value + 0.5 : value - 0.5);
}

using DpiForWindow = UINT(WINAPI *)(HWND);
using ParametersForDpi = BOOL(WINAPI *)(UINT, UINT, PVOID, UINT, UINT);

// Windows 10's per-monitor functions, looked up so that the program still
// starts where they are missing.
template <typename F> F User32(const char *name)
{
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}
} // namespace

DialogWindow::DialogWindow(HINSTANCE instance)
    : m_instance(instance), m_onUnload([] { PostQuitMessage(0); }), m_white(CreateSolidBrush(RGB(255, 255, 255))),
      m_pageBrush(GetSysColorBrush(COLOR_BTNFACE))
{
    static const ATOM atom = [instance] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &DialogWindow::Procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = nullptr; // painted white in WM_ERASEBKGND
        windowClass.lpszClassName = kClassName;
        windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
        windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                            GetSystemMetrics(SM_CXSMICON),
                                                            GetSystemMetrics(SM_CYSMICON), 0));
        return RegisterClassExW(&windowClass);
    }();
    (void)atom;
    m_banner = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    m_hwnd = CreateWindowExW(kExStyle, kClassName, Wide(WindowLayout().caption).c_str(), kStyle, CW_USEDEFAULT,
                             CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance, this);
    const auto dpiForWindow = User32<DpiForWindow>("GetDpiForWindow");
    m_dpi = dpiForWindow ? int(dpiForWindow(m_hwnd)) : 96;
    if (m_dpi <= 0)
        m_dpi = 96;
    CreateControls();
    ApplyDpi(m_dpi);
}

DialogWindow::~DialogWindow()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
    for (const auto &[key, font] : m_fonts)
        DeleteObject(font);
    if (m_defaultFont)
        DeleteObject(m_defaultFont);
    if (m_banner)
        DeleteObject(m_banner);
    DeleteObject(m_white);
}

void DialogWindow::CreateControls()
{
    std::vector<const ControlSpec *> order;
    StackOrder(nullptr, order);
    // Windows stack a new child behind its elder siblings: creating front to
    // back gives the designed overlaps.
    for (const ControlSpec *spec : order) {
        const int page = PageOf(spec->container);
        const bool shown = !spec->hidden && (page < 0 || page == InitialPage);
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (shown ? WS_VISIBLE : 0) | (spec->disabled ? WS_DISABLED : 0);
        DWORD exStyle = 0;
        const wchar_t *windowClass = L"STATIC";
        std::wstring caption = Wide(spec->caption);
        switch (spec->kind) {
        case ControlKind::Button:
            windowClass = L"BUTTON";
            style |= BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP;
            break;
        case ControlKind::TabControl:
            windowClass = WC_TABCONTROLW;
            style |= WS_TABSTOP | WS_GROUP;
            break;
        case ControlKind::Frame:
            windowClass = L"BUTTON";
            style |= BS_GROUPBOX;
            break;
        case ControlKind::TextBox:
            windowClass = L"EDIT";
            exStyle |= WS_EX_CLIENTEDGE;
            style |= ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP;
            break;
        case ControlKind::MultiLineTextBox:
            windowClass = L"EDIT";
            exStyle |= WS_EX_CLIENTEDGE;
            style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP;
            caption = LicenceText(m_instance);
            break;
        case ControlKind::Label:
            style |= SS_NOPREFIX | (spec->align == Align::Centre ? SS_CENTER : SS_LEFT);
            break;
        case ControlKind::LinkLabel:
            style |= SS_NOPREFIX | SS_NOTIFY | SS_LEFT;
            break;
        case ControlKind::ListBox:
            windowClass = L"LISTBOX";
            exStyle |= WS_EX_CLIENTEDGE;
            style |= LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | WS_GROUP;
            break;
        case ControlKind::ComboBox:
            windowClass = L"COMBOBOX";
            style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP;
            break;
        case ControlKind::Bar:
        case ControlKind::Picture:
            style |= SS_OWNERDRAW;
            caption.clear();
            break;
        }
        const int id = ControlId(spec->name);
        HWND hwnd = CreateWindowExW(exStyle, windowClass, caption.c_str(), style, 0, 0, 0, 0, m_hwnd,
                                    reinterpret_cast<HMENU>(INT_PTR(id)), m_instance, nullptr);
        if (spec->kind == ControlKind::TabControl) {
            int index = 0;
            for (TextView tab : TabCaptions()) {
                std::wstring text = Wide(tab);
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = text.data();
                SendMessageW(hwnd, TCM_INSERTITEMW, WPARAM(index++), reinterpret_cast<LPARAM>(&item));
            }
            SendMessageW(hwnd, TCM_SETCURSEL, WPARAM(InitialPage), 0);
            // The pages are the button face's colour, as the labels on them
            // are: a theme's own page colour would leave them in patches.
            SetWindowTheme(hwnd, L"", L"");
        }
        m_controls.push_back(Placed{spec, hwnd, page});
    }
    m_send = std::make_unique<Win32Button>(ControlHandle("btn_send"));
    m_cancel = std::make_unique<Win32Button>(ControlHandle("btn_cancel"));
    m_notify = std::make_unique<Win32Label>(ControlHandle("fax_notify"));
    m_faxno = std::make_unique<Win32TextBox>(ControlHandle("txt_faxno"));
    m_list = std::make_unique<Win32ListBox>(ControlHandle("addressList"));
    m_combo = std::make_unique<Win32ComboBox>(ControlHandle("txt_outlookfaxno"));
    m_tab = std::make_unique<Win32TabControl>(ControlHandle("tab_addressselect"));
}

HFONT DialogWindow::Font(const FontSpec &font)
{
    if (font.IsDefault())
        return m_defaultFont;
    const auto key = std::make_tuple(font.face, Rounded(font.points * 100), font.style);
    const auto found = m_fonts.find(key);
    if (found != m_fonts.end())
        return found->second;
    LOGFONTW description{};
    description.lfHeight = -Rounded(font.points * m_dpi / 72.0);
    description.lfWeight = (font.style & Bold) ? FW_BOLD : FW_NORMAL;
    description.lfItalic = (font.style & Italic) ? TRUE : FALSE;
    description.lfCharSet = DEFAULT_CHARSET;
    description.lfQuality = CLEARTYPE_QUALITY;
    const std::wstring face = Wide(font.face);
    face.copy(description.lfFaceName, LF_FACESIZE - 1);
    HFONT created = CreateFontIndirectW(&description);
    m_fonts.emplace(key, created);
    return created;
}

void DialogWindow::ApplyDpi(int dpi)
{
    m_dpi = dpi;
    // Fonts are made anew for the resolution; the old ones go once no
    // control uses them.
    auto oldFonts = std::move(m_fonts);
    m_fonts.clear();
    HFONT oldDefault = m_defaultFont;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    const auto parametersForDpi = User32<ParametersForDpi>("SystemParametersInfoForDpi");
    if (!(parametersForDpi && parametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, UINT(dpi)))) {
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, 96);
    }
    m_defaultFont = CreateFontIndirectW(&metrics.lfMessageFont);

    HDWP positions = BeginDeferWindowPos(int(m_controls.size()));
    for (const Placed &placed : m_controls) {
        const ControlSpec &spec = *placed.spec;
        const POINT at = AbsoluteTwips(spec);
        const int x = TwipsToPixels(at.x, dpi);
        const int y = TwipsToPixels(at.y, dpi);
        const int width = TwipsToPixels(spec.width, dpi);
        int height = TwipsToPixels(spec.height, dpi);
        const FontSpec &font = spec.kind == ControlKind::TabControl ? TabFont : spec.font;
        SendMessageW(placed.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font(font)), FALSE);
        if (spec.kind == ControlKind::TabControl) {
            SendMessageW(placed.hwnd, TCM_SETITEMSIZE, 0, MAKELPARAM(0, TwipsToPixels(TabHeaderHeight, dpi)));
        } else if (spec.kind == ControlKind::ComboBox) {
            // The closed box is the designed height; the list drops below it.
            const int border = int(SendMessageW(placed.hwnd, CB_GETITEMHEIGHT, WPARAM(-1), 0));
            RECT closed;
            GetWindowRect(placed.hwnd, &closed);
            const int frame = (closed.bottom - closed.top) - border;
            if (frame > 0 && height - frame > 0)
                SendMessageW(placed.hwnd, CB_SETITEMHEIGHT, WPARAM(-1), height - frame);
            height *= 8;
        }
        positions = DeferWindowPos(positions, placed.hwnd, nullptr, x, y, width, height,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    EndDeferWindowPos(positions);
    for (const Placed &placed : m_controls)
        InvalidateRect(placed.hwnd, nullptr, TRUE);
    for (const auto &[key, font] : oldFonts)
        DeleteObject(font);
    if (oldDefault)
        DeleteObject(oldDefault);
    FitWindow(nullptr);
}

// The client area keeps its designed size at the window's dpi, whatever the
// frame around it takes.
void DialogWindow::FitWindow(const RECT *suggested)
{
    const WindowSpec &window = WindowLayout();
    RECT frame{}, client{};
    GetWindowRect(m_hwnd, &frame);
    GetClientRect(m_hwnd, &client);
    const int width = TwipsToPixels(window.clientWidth, m_dpi) + (frame.right - frame.left) - client.right;
    const int height = TwipsToPixels(window.clientHeight, m_dpi) + (frame.bottom - frame.top) - client.bottom;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    int x = 0, y = 0;
    if (suggested) {
        x = suggested->left;
        y = suggested->top;
    } else {
        flags |= SWP_NOMOVE;
    }
    SetWindowPos(m_hwnd, nullptr, x, y, width, height, flags);
}

HWND DialogWindow::ControlHandle(std::string_view name) const
{
    for (const Placed &placed : m_controls)
        if (placed.spec->name == name)
            return placed.hwnd;
    return nullptr;
}

const DialogWindow::Placed *DialogWindow::Find(HWND hwnd) const
{
    for (const Placed &placed : m_controls)
        if (placed.hwnd == hwnd)
            return &placed;
    return nullptr;
}

DialogControls DialogWindow::Controls()
{
    return DialogControls{*this, *m_send, *m_cancel, *m_tab, *m_faxno, *m_list, *m_combo, *m_notify};
}

// Only the selected page's controls show; hidden labels never do.
void DialogWindow::ShowPage(int page)
{
    for (const Placed &placed : m_controls) {
        if (placed.page < 0)
            continue;
        ShowWindow(placed.hwnd, placed.page == page && !placed.spec->hidden ? SW_SHOWNA : SW_HIDE);
    }
}

void DialogWindow::Show()
{
    if (!m_shownBefore) {
        // Centred on the screen the first time; later showings keep the place.
        m_shownBefore = true;
        RECT window;
        GetWindowRect(m_hwnd, &window);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
        const RECT &area = monitor.rcWork;
        const int width = window.right - window.left;
        const int height = window.bottom - window.top;
        SetWindowPos(m_hwnd, nullptr, area.left + (area.right - area.left - width) / 2,
                     area.top + (area.bottom - area.top - height) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(m_hwnd, SW_SHOWNORMAL);
    // A program in the background may not take the foreground by itself:
    // joining the input of the window that has it lets the dialog come up
    // in front with the keyboard focus, as a request needs the user now.
    HWND foreground = GetForegroundWindow();
    const DWORD foregroundThread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    const DWORD ownThread = GetCurrentThreadId();
    const bool joined = foregroundThread && foregroundThread != ownThread &&
                        AttachThreadInput(foregroundThread, ownThread, TRUE);
    SetForegroundWindow(m_hwnd);
    BringWindowToTop(m_hwnd);
    SetActiveWindow(m_hwnd);
    if (joined)
        AttachThreadInput(foregroundThread, ownThread, FALSE);
    HWND focus = GetFocus();
    if (!focus || !IsChild(m_hwnd, focus) || !IsWindowEnabled(focus) || !IsWindowVisible(focus)) {
        SetFocus(m_hwnd);
        MoveFocus(false);
    }
}

void DialogWindow::Hide()
{
    ShowWindow(m_hwnd, SW_HIDE);
}

bool DialogWindow::Visible() const
{
    return IsWindowVisible(m_hwnd);
}

void DialogWindow::SetBusyPointer(bool busy)
{
    m_busy = busy;
    POINT pointer;
    GetCursorPos(&pointer);
    RECT window;
    GetWindowRect(m_hwnd, &window);
    if (PtInRect(&window, pointer))
        SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void DialogWindow::Unload()
{
    Hide();
    if (m_onUnload)
        m_onUnload();
}

void DialogWindow::MoveFocus(bool backwards)
{
    const std::vector<std::string_view> order = FocusOrder();
    std::vector<HWND> candidates;
    for (std::string_view name : order) {
        HWND hwnd = ControlHandle(name);
        if (hwnd && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd))
            candidates.push_back(hwnd);
    }
    if (candidates.empty())
        return;
    HWND focus = GetFocus();
    // The focus may sit inside a control, as in a combo box's edit part.
    while (focus && GetParent(focus) && GetParent(focus) != m_hwnd)
        focus = GetParent(focus);
    const auto at = std::find(candidates.begin(), candidates.end(), focus);
    size_t next = 0;
    if (at == candidates.end())
        next = backwards ? candidates.size() - 1 : 0;
    else if (backwards)
        next = (size_t(at - candidates.begin()) + candidates.size() - 1) % candidates.size();
    else
        next = (size_t(at - candidates.begin()) + 1) % candidates.size();
    HWND target = candidates[next];
    SetFocus(target);
    if (const Placed *placed = Find(target); placed && placed->spec->kind == ControlKind::TextBox)
        SendMessageW(target, EM_SETSEL, 0, -1);
}

bool DialogWindow::PreTranslate(MSG &message)
{
    if (message.hwnd != m_hwnd && !IsChild(m_hwnd, message.hwnd))
        return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
        MoveFocus(GetKeyState(VK_SHIFT) < 0);
        return true;
    }
    return IsDialogMessageW(m_hwnd, &message);
}

void DialogWindow::DrawItem(const DRAWITEMSTRUCT &item)
{
    const Placed *placed = Find(item.hwndItem);
    if (!placed)
        return;
    if (placed->spec->kind == ControlKind::Bar) {
        const uint32_t colour = placed->spec->colour;
        HBRUSH fill = CreateSolidBrush(RGB(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
        FillRect(item.hDC, &item.rcItem, fill);
        DeleteObject(fill);
        return;
    }
    if (placed->spec->kind == ControlKind::Picture) {
        FillRect(item.hDC, &item.rcItem, m_white);
        if (!m_banner)
            return;
        BITMAP bitmap{};
        GetObjectW(m_banner, sizeof bitmap, &bitmap);
        HDC source = CreateCompatibleDC(item.hDC);
        HGDIOBJ previous = SelectObject(source, m_banner);
        // At its own size: 96 dpi shows it pixel for pixel, others scale it.
        SetStretchBltMode(item.hDC, HALFTONE);
        StretchBlt(item.hDC, 0, 0, item.rcItem.right - item.rcItem.left, item.rcItem.bottom - item.rcItem.top,
                   source, 0, 0, bitmap.bmWidth, bitmap.bmHeight, SRCCOPY);
        SelectObject(source, previous);
        DeleteDC(source);
    }
}

LRESULT CALLBACK DialogWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self = static_cast<DialogWindow *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<DialogWindow *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (self)
            self->m_hwnd = nullptr;
    }
    if (!self || !self->m_hwnd)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

LRESULT DialogWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(m_hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, m_white);
        return 1;
    }
    case WM_COMMAND: {
        const Placed *placed = Find(reinterpret_cast<HWND>(lParam));
        if (!placed)
            return 0;
        const std::string_view name = placed->spec->name;
        const int code = HIWORD(wParam);
        const auto call = [](const std::function<void()> &handler) {
            if (handler)
                handler();
        };
        if (name == "btn_send" && code == BN_CLICKED)
            call(m_handlers.sendClick);
        else if (name == "btn_cancel" && code == BN_CLICKED)
            call(m_handlers.cancelClick);
        else if (name == "addressList" && code == LBN_SELCHANGE)
            call(m_handlers.listClick);
        else if (name == "txt_faxno" && code == EN_CHANGE)
            call(m_handlers.faxnoChange);
        else if (name == "lbl_starthomepage" && code == STN_CLICKED)
            call(m_handlers.linkClick);
        return 0;
    }
    case WM_NOTIFY: {
        const auto *header = reinterpret_cast<const NMHDR *>(lParam);
        if (header->hwndFrom != ControlHandle("tab_addressselect"))
            return 0;
        if (header->code == TCN_SELCHANGING) {
            m_previousTab = int(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0));
        } else if (header->code == TCN_SELCHANGE) {
            ShowPage(int(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
            if (m_handlers.tabClick)
                m_handlers.tabClick(m_previousTab);
        }
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const Placed *placed = Find(reinterpret_cast<HWND>(lParam));
        if (!placed || placed->spec->kind == ControlKind::MultiLineTextBox)
            break;
        HDC dc = reinterpret_cast<HDC>(wParam);
        const bool onPage = placed->page >= 0;
        const uint32_t colour = placed->spec->colour;
        SetTextColor(dc, colour == NoColour ? GetSysColor(COLOR_WINDOWTEXT)
                                            : RGB(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
        SetBkColor(dc, onPage ? GetSysColor(COLOR_BTNFACE) : RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(onPage ? m_pageBrush : m_white);
    }
    case WM_DRAWITEM:
        DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        if (m_busy) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        if (reinterpret_cast<HWND>(wParam) == ControlHandle("lbl_starthomepage")) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_DPICHANGED:
        ApplyDpi(HIWORD(wParam));
        FitWindow(reinterpret_cast<const RECT *>(lParam));
        return 0;
    case WM_CLOSE:
        // The close box ends the request as Cancel would; the program stays.
        if (m_handlers.queryUnload)
            m_handlers.queryUnload();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

int ControlId(std::string_view name)
{
    return kFirstId + int(&Control(name) - ControlTable().data());
}

std::wstring LicenceText(HINSTANCE instance)
{
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDR_LICENCE), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found)
        return {};
    const char *data = static_cast<const char *>(LockResource(LoadResource(instance, found)));
    const DWORD size = SizeofResource(instance, found);
    const Text text = FromUtf8(std::string_view(data, size));
    std::wstring lines;
    lines.reserve(text.size() + text.size() / 40);
    char16_t previous = 0;
    for (char16_t c : text) {
        if (c == u'\n' && previous != u'\r')
            lines += L'\r';
        lines += wchar_t(c);
        previous = c;
    }
    return lines;
}
