#pragma once

#include "layout.h"
#include "platform.h"
#include "win32_defs.h"

#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <tuple>
#include <vector>

class Win32Button;
class Win32Label;
class Win32TextBox;
class Win32ListBox;
class Win32ComboBox;
class Win32TabControl;

// What the dialog's controls raise, forwarded to the logic's handlers.
struct DialogHandlers {
    std::function<void()> sendClick, cancelClick, listClick, faxnoChange, linkClick, queryUnload;
    std::function<void(int previousTab)> tabClick;
};

// The program's one window, built from the control table in the logic's
// layout: every position and size is in twips, turned into pixels at the
// window's dpi when it is created and again when the dpi changes. Controls
// of the tab control's pages and of frames are children of the window
// itself, placed in front of their container; where two controls overlap,
// the one listed earlier in the table lies in front.
class DialogWindow final : public Window {
public:
    explicit DialogWindow(HINSTANCE instance);
    ~DialogWindow() override;
    DialogWindow(const DialogWindow &) = delete;
    DialogWindow &operator=(const DialogWindow &) = delete;

    void SetHandlers(DialogHandlers handlers) { m_handlers = std::move(handlers); }
    // What Unload does once the window is hidden; the program's loop ends.
    void SetOnUnload(std::function<void()> onUnload) { m_onUnload = std::move(onUnload); }

    void Show() override;
    void Hide() override;
    bool Visible() const override;
    void SetBusyPointer(bool busy) override;
    void Unload() override;

    HWND Handle() const { return m_hwnd; }
    HWND ControlHandle(std::string_view name) const;
    int Dpi() const { return m_dpi; }
    bool Busy() const { return m_busy; }
    // Lays every control out anew at the dpi: at creation and when the
    // window moves to a screen of another resolution.
    void ApplyDpi(int dpi);
    // The message loop's keyboard handling for the dialog: Tab and Shift+Tab
    // follow the designed focus order; the dialog keys otherwise.
    bool PreTranslate(MSG &message);

    DialogControls Controls();

private:
    struct Placed {
        const ControlSpec *spec;
        HWND hwnd;
        int page; // -1: not on a page of the tab control
    };

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void ShowPage(int page);
    void MoveFocus(bool backwards);
    void FitWindow(const RECT *suggested);
    const Placed *Find(HWND hwnd) const;
    HFONT Font(const FontSpec &font);
    void DrawItem(const DRAWITEMSTRUCT &item);

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    int m_dpi = 96;
    bool m_busy = false;
    bool m_shownBefore = false;
    int m_previousTab = InitialPage;
    DialogHandlers m_handlers;
    std::function<void()> m_onUnload;
    std::vector<Placed> m_controls;
    // At the current dpi, by face, size in hundredths of a point and style.
    std::map<std::tuple<std::u16string_view, int, unsigned>, HFONT> m_fonts;
    HFONT m_defaultFont = nullptr;
    HBRUSH m_white;
    HBRUSH m_pageBrush;
    HBITMAP m_banner = nullptr;
    std::unique_ptr<Win32Button> m_send, m_cancel;
    std::unique_ptr<Win32Label> m_notify;
    std::unique_ptr<Win32TextBox> m_faxno;
    std::unique_ptr<Win32ListBox> m_list;
    std::unique_ptr<Win32ComboBox> m_combo;
    std::unique_ptr<Win32TabControl> m_tab;
};

// The control's child-window ID: its place in the control table from 100 on.
int ControlId(std::string_view name);

// The licence shown on the About page, from the program's resources, with
// its lines separated by CR LF as the edit control wants them.
std::wstring LicenceText(HINSTANCE instance);
