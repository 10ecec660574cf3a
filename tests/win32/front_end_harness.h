#pragma once

// The real Windows front end in this process: the real window and controls,
// real Winsock on a free port, the fake address book, and recorders in place
// of the three system calls whose effect a test cannot read back (message
// boxes, the notification area, the shell).
#include "fake_contact_store.h"
#include "front_end.h"
#include "pump.h"
#include "test_peer.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

struct BoxCall {
    HWND owner;
    std::wstring text, title;
    UINT flags;
};

struct NotifyCall {
    DWORD message;
    HWND window;
    UINT flags;
    UINT callbackMessage;
    HICON icon;
    std::wstring tip;
};

struct ShellCall {
    HWND owner;
    bool nullOperation;
    std::string file;
    bool nullParameters, nullDirectory;
    INT show;
};

// What the recorders saw; one test at a time uses them.
struct SystemRecord {
    std::vector<BoxCall> boxes;
    std::deque<int> answers; // IDOK when none is queued
    std::vector<NotifyCall> notifications;
    std::vector<ShellCall> shellCalls;
    int shellBinds = 0;
    bool shellMissing = false;
    static SystemRecord &Current();
};

struct FrontEndHarness {
    FrontEndHarness();
    ~FrontEndHarness();

    void Start();
    // A fax server connects; true once the dialog shows and the connection is taken.
    bool Request(TestPeer &peer);
    HWND Hwnd(std::string_view name) const { return program->Dialog().ControlHandle(name); }
    // The control's rectangle in the dialog's client area.
    RECT ClientRect(std::string_view name) const;
    bool HasStyle(std::string_view name, DWORD style) const;
    // As the user does it.
    void SelectTab(int page);
    void Choose(int index);
    void Type(const std::wstring &text);
    void Click(std::string_view button);
    std::vector<std::wstring> ListTexts() const;
    // The name of the control with the keyboard focus.
    std::string_view FocusName() const;
    void PressTab(bool shift = false);

    SystemRecord &record;
    std::shared_ptr<FakeAddressBook> book = std::make_shared<FakeAddressBook>();
    bool unloaded = false;
    std::unique_ptr<FrontEnd> program;
};
