#pragma once

#include "text.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// What the program's logic needs of the desktop. Each front end implements
// these over its toolkit; the logic holds references and calls nothing else.

// The dialog window itself.
class Window {
public:
    virtual ~Window() = default;
    // Brings the dialog to the front with the keyboard focus, centred on its
    // first showing.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;
    virtual void SetBusyPointer(bool busy) = 0;
    // Ends the program once the current event has been handled.
    virtual void Unload() = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
};

class Label {
public:
    virtual ~Label() = default;
    virtual void SetCaption(const Text &caption) = 0;
    virtual Text Caption() const = 0;
};

class TextBox {
public:
    virtual ~TextBox() = default;
    virtual Text GetText() const = 0;
    virtual void SetText(const Text &text) = 0;
};

// An entry of a list: its text and its number.
struct ListEntry {
    Text text;
    int32_t data = 0;
    bool operator==(const ListEntry &) const = default;
};

// A list whose entries each carry a text and a number. The list may keep its
// entries sorted: an entry's index is where it landed.
class ListBox {
public:
    virtual ~ListBox() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void Clear() = 0;
    // Between these two, entries are added as one batch: the list need not
    // show each one as it comes.
    virtual void BeginFill() = 0;
    virtual void EndFill() = 0;
    // Adds an entry; the index of the entry just added.
    virtual int AddItem(const Text &text) = 0;
    virtual void SetItemData(int index, int32_t data) = 0;
    // Appends the entries in the order given, without sorting them: entries
    // this list has sorted before, as Entries() gave them. Called between
    // BeginFill() and EndFill().
    virtual void AddSorted(const std::vector<ListEntry> &entries) = 0;
    // Every entry, in the order the list shows them.
    virtual std::vector<ListEntry> Entries() const = 0;
    // -1 when no entry is selected.
    virtual int SelectedIndex() const = 0;
    virtual Text ItemText(int index) const = 0;
    virtual int32_t ItemData(int index) const = 0;
};

// A drop-down list: the user can only pick one of its entries.
class ComboBox {
public:
    virtual ~ComboBox() = default;
    virtual void Clear() = 0;
    virtual void AddItem(const Text &text) = 0;
    // -1 selects nothing.
    virtual void SetSelectedIndex(int index) = 0;
    virtual int SelectedIndex() const = 0;
    // The empty text for an index that holds no entry, -1 included.
    virtual Text ItemText(int index) const = 0;
};

class TabControl {
public:
    virtual ~TabControl() = default;
    virtual int SelectedPage() const = 0;
};

// The controls the logic addresses; the front end lays out the rest from the
// control table and never lets the logic see them.
struct DialogControls {
    Window &frm_outlook;
    Button &btn_send;
    Button &btn_cancel;
    TabControl &tab_addressselect;
    TextBox &txt_faxno;
    ListBox &addressList;
    ComboBox &txt_outlookfaxno;
    Label &fax_notify;
};

struct SocketError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The one socket of the program: first the listener, then (after Accept) the
// connection to the fax server, then the listener again. Its events reach
// the logic through SocketEvents.
class Socket {
public:
    // Values of State(); callers only ever ask whether it is Closed.
    enum : int { Closed = 0, Listening = 2, Connected = 7 };

    virtual ~Socket() = default;
    // Throws SocketError when the port cannot be listened on.
    virtual void Listen() = 0;
    virtual int State() const = 0;
    // Closes whatever the socket is at the time: listener or connection.
    virtual void Close() = 0;
    // Takes the connection that raised the request, even when the listener
    // has been closed since; SocketError when it is gone.
    virtual void Accept(int32_t requestId) = 0;
    // Queues the bytes and returns; SendComplete or SendFailed follows later.
    virtual void SendData(const std::string &bytes) = 0;
    virtual uint16_t LocalPort() const = 0;
};

class SocketEvents {
public:
    virtual ~SocketEvents() = default;
    virtual void wsk_connect_ConnectionRequest(int32_t requestId) = 0;
    // Every byte of the reply has reached the fax server.
    virtual void wsk_connect_SendComplete() = 0;
    // The fax server was gone before all of the reply reached it.
    virtual void wsk_connect_SendFailed() = 0;
    // The open connection was reset or broke; a fax server that only shut
    // down its sending side is still waiting and raises nothing.
    virtual void wsk_connect_Error() = 0;
};

// The icon in the notification area. Its mouse-button event and the menu's
// item reach the logic as st_MouseButton and mnu_exit_Click.
class Tray {
public:
    virtual ~Tray() = default;
    virtual void SetToolTip(const Text &tip) = 0;
    // True puts the icon into the notification area, false takes it out.
    virtual void SetInTray(bool inTray) = 0;
    // Pops the one-item menu up at the pointer.
    virtual void PopUpMenu() = 0;
};

// Modal message boxes; texts and titles are shown exactly as passed.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Stop icon, one OK button.
    virtual void Error(const Text &text, const Text &title) = 0;
    // Information icon, one OK button.
    virtual void Information(const Text &text, const Text &title) = 0;
    // No icon, OK and Cancel with OK the default; true when OK was pressed.
    virtual bool Question(const Text &text, const Text &title) = 0;
    // Closes every box still open as if dismissed (a question as Cancel);
    // their calls return once the event being handled is done.
    virtual void CloseAll() = 0;
};

// Hands an address to the default browser in a normal window, not waiting
// for it; failures are the caller's to ignore.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void Open(const Text &address) = 0;
};

// A repeating timer; each tick reaches the logic as tmr_relisten_Timer.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void Start(int intervalMs) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
};
