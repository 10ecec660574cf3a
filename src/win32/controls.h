#pragma once

// The core's controls over the dialog's child windows: each holds the
// window's handle and no state of its own, so what the logic reads is what
// the user sees.
#include "platform.h"
#include "win32_defs.h"

#include <vector>

class Win32Button final : public Button {
public:
    explicit Win32Button(HWND hwnd) : m_hwnd(hwnd) {}
    void SetEnabled(bool enabled) override { EnableWindow(m_hwnd, enabled); }
    bool Enabled() const override { return IsWindowEnabled(m_hwnd); }

private:
    HWND m_hwnd;
};

class Win32Label final : public Label {
public:
    explicit Win32Label(HWND hwnd) : m_hwnd(hwnd) {}
    void SetCaption(const Text &caption) override;
    Text Caption() const override;

private:
    HWND m_hwnd;
};

class Win32TextBox final : public TextBox {
public:
    explicit Win32TextBox(HWND hwnd) : m_hwnd(hwnd) {}
    Text GetText() const override;
    void SetText(const Text &text) override;

private:
    HWND m_hwnd;
};

// A sorted list box: an entry's index is where it landed among the others,
// except for entries added presorted.
class Win32ListBox final : public ListBox {
public:
    explicit Win32ListBox(HWND hwnd) : m_hwnd(hwnd) {}
    void SetEnabled(bool enabled) override { EnableWindow(m_hwnd, enabled); }
    void Clear() override;
    void BeginFill() override;
    void EndFill() override;
    int AddItem(const Text &text) override;
    void SetItemData(int index, int32_t data) override;
    void AddSorted(const std::vector<ListEntry> &entries) override;
    std::vector<ListEntry> Entries() const override;
    int SelectedIndex() const override;
    Text ItemText(int index) const override;
    int32_t ItemData(int index) const override;

private:
    HWND m_hwnd;
};

class Win32ComboBox final : public ComboBox {
public:
    explicit Win32ComboBox(HWND hwnd) : m_hwnd(hwnd) {}
    void Clear() override;
    void AddItem(const Text &text) override;
    void SetSelectedIndex(int index) override;
    int SelectedIndex() const override;
    Text ItemText(int index) const override;

private:
    HWND m_hwnd;
};

class Win32TabControl final : public TabControl {
public:
    explicit Win32TabControl(HWND hwnd) : m_hwnd(hwnd) {}
    int SelectedPage() const override;

private:
    HWND m_hwnd;
};
