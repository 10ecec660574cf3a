#include "controls.h"

#include <commctrl.h>

namespace {
std::wstring WindowText(HWND hwnd)
{
    std::wstring text(size_t(GetWindowTextLengthW(hwnd)), L'\0');
    GetWindowTextW(hwnd, text.data(), int(text.size()) + 1);
    return text;
}
} // namespace

void Win32Label::SetCaption(const Text &caption)
{
    SetWindowTextW(m_hwnd, Wide(caption).c_str());
}

Text Win32Label::Caption() const
{
    return FromWide(WindowText(m_hwnd));
}

Text Win32TextBox::GetText() const
{
    return FromWide(WindowText(m_hwnd));
}

void Win32TextBox::SetText(const Text &text)
{
    SetWindowTextW(m_hwnd, Wide(text).c_str());
}

void Win32ListBox::Clear()
{
    SendMessageW(m_hwnd, LB_RESETCONTENT, 0, 0);
}

void Win32ListBox::BeginFill()
{
    SendMessageW(m_hwnd, WM_SETREDRAW, FALSE, 0);
}

void Win32ListBox::EndFill()
{
    SendMessageW(m_hwnd, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(m_hwnd, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

int Win32ListBox::AddItem(const Text &text)
{
    return int(SendMessageW(m_hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str())));
}

void Win32ListBox::SetItemData(int index, int32_t data)
{
    SendMessageW(m_hwnd, LB_SETITEMDATA, WPARAM(index), LPARAM(data));
}

// Room for all the entries at once, then each at the end: inserting does not
// sort, so nothing is compared and nothing moves.
void Win32ListBox::AddSorted(const std::vector<ListEntry> &entries)
{
    size_t chars = 0;
    for (const ListEntry &entry : entries)
        chars += entry.text.size() + 1;
    SendMessageW(m_hwnd, LB_INITSTORAGE, WPARAM(entries.size()), LPARAM(chars * sizeof(wchar_t)));
    for (const ListEntry &entry : entries) {
        const LRESULT index =
            SendMessageW(m_hwnd, LB_INSERTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(Wide(entry.text).c_str()));
        if (index >= 0)
            SendMessageW(m_hwnd, LB_SETITEMDATA, WPARAM(index), LPARAM(entry.data));
    }
}

std::vector<ListEntry> Win32ListBox::Entries() const
{
    const LRESULT count = SendMessageW(m_hwnd, LB_GETCOUNT, 0, 0);
    std::vector<ListEntry> entries;
    entries.reserve(count > 0 ? size_t(count) : 0);
    for (int index = 0; index < int(count); ++index)
        entries.push_back({ItemText(index), ItemData(index)});
    return entries;
}

int Win32ListBox::SelectedIndex() const
{
    const LRESULT selected = SendMessageW(m_hwnd, LB_GETCURSEL, 0, 0);
    return selected == LB_ERR ? -1 : int(selected);
}

Text Win32ListBox::ItemText(int index) const
{
    const LRESULT length = SendMessageW(m_hwnd, LB_GETTEXTLEN, WPARAM(index), 0);
    if (length == LB_ERR)
        return {};
    std::wstring text(size_t(length) + 1, L'\0');
    const LRESULT got = SendMessageW(m_hwnd, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == LB_ERR ? 0 : size_t(got));
    return FromWide(text);
}

int32_t Win32ListBox::ItemData(int index) const
{
    return int32_t(SendMessageW(m_hwnd, LB_GETITEMDATA, WPARAM(index), 0));
}

void Win32ComboBox::Clear()
{
    SendMessageW(m_hwnd, CB_RESETCONTENT, 0, 0);
}

void Win32ComboBox::AddItem(const Text &text)
{
    SendMessageW(m_hwnd, CB_INSERTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void Win32ComboBox::SetSelectedIndex(int index)
{
    SendMessageW(m_hwnd, CB_SETCURSEL, WPARAM(index), 0);
}

int Win32ComboBox::SelectedIndex() const
{
    const LRESULT selected = SendMessageW(m_hwnd, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : int(selected);
}

Text Win32ComboBox::ItemText(int index) const
{
    if (index < 0)
        return {};
    const LRESULT length = SendMessageW(m_hwnd, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR)
        return {};
    std::wstring text(size_t(length) + 1, L'\0');
    const LRESULT got = SendMessageW(m_hwnd, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR ? 0 : size_t(got));
    return FromWide(text);
}

int Win32TabControl::SelectedPage() const
{
    return int(SendMessageW(m_hwnd, TCM_GETCURSEL, 0, 0));
}
