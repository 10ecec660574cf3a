#pragma once

// Doubles for every seam of the program's logic, standard library only. Each
// writes what the logic did to it into one shared journal, so that a test
// sees the order of steps across all of them.
#include "frm_outlook.h"
#include "platform.h"

#include <functional>
#include <string>
#include <vector>

struct Journal {
    std::vector<std::string> lines;
    void Add(std::string line) { lines.push_back(std::move(line)); }
    // The lines written since the mark.
    std::vector<std::string> Since(size_t mark) const;
    size_t Mark() const { return lines.size(); }
    bool Contains(const std::string &line) const;
    // Index of the first line equal to this one, or -1.
    int IndexOf(const std::string &line) const;
};

std::string Utf8(const Text &text);

class FakeWindow final : public Window {
public:
    explicit FakeWindow(Journal &journal) : m_journal(journal) {}
    void Show() override;
    void Hide() override;
    bool Visible() const override { return visible; }
    void SetBusyPointer(bool isBusy) override;
    void Unload() override;
    bool visible = false;
    bool busy = false;
    bool unloaded = false;

private:
    Journal &m_journal;
};

class FakeButton final : public Button {
public:
    FakeButton(Journal &journal, std::string name, bool enabled) : enabled(enabled), m_journal(journal), m_name(std::move(name)) {}
    void SetEnabled(bool value) override;
    bool Enabled() const override { return enabled; }
    bool enabled;

private:
    Journal &m_journal;
    std::string m_name;
};

class FakeLabel final : public Label {
public:
    FakeLabel(Journal &journal, std::string name, Text caption) : caption(std::move(caption)), m_journal(journal), m_name(std::move(name)) {}
    void SetCaption(const Text &value) override;
    Text Caption() const override { return caption; }
    Text caption;

private:
    Journal &m_journal;
    std::string m_name;
};

class FakeTextBox final : public TextBox {
public:
    explicit FakeTextBox(Journal &journal) : m_journal(journal) {}
    Text GetText() const override { return text; }
    void SetText(const Text &value) override;
    Text text;

private:
    Journal &m_journal;
};

// Keeps its entries sorted by text, as the front ends' lists do, so that an
// entry's index is not the order it was added in.
class FakeListBox final : public ListBox {
public:
    explicit FakeListBox(Journal &journal) : m_journal(journal) {}
    void SetEnabled(bool value) override;
    void Clear() override;
    void BeginFill() override;
    void EndFill() override;
    int AddItem(const Text &text) override;
    void SetItemData(int index, int32_t data) override;
    // Journals each entry as AddItem does: the user sees no difference.
    void AddSorted(const std::vector<ListEntry> &sorted) override;
    std::vector<ListEntry> Entries() const override;
    int SelectedIndex() const override { return selected; }
    Text ItemText(int index) const override;
    int32_t ItemData(int index) const override;
    // The index of the entry with this text, or -1.
    int Find(const std::string &text) const;
    std::vector<std::string> Texts() const;

    using Entry = ListEntry;
    std::vector<Entry> entries;
    int selected = -1;
    bool enabled = false;
    mutable int readBacks = 0; // calls of Entries()

private:
    Journal &m_journal;
};

class FakeComboBox final : public ComboBox {
public:
    explicit FakeComboBox(Journal &journal) : m_journal(journal) {}
    void Clear() override;
    void AddItem(const Text &text) override;
    void SetSelectedIndex(int index) override;
    int SelectedIndex() const override { return selected; }
    Text ItemText(int index) const override;
    std::vector<std::string> Texts() const;
    std::vector<Text> entries;
    int selected = -1;

private:
    Journal &m_journal;
};

class FakeTabControl final : public TabControl {
public:
    int SelectedPage() const override { return page; }
    int page = 1;
};

class FakePeer;

// A socket that does what it is told at once. Tests of the logic raise its
// events themselves; given an event sink, it also serves FakePeers as a real
// socket serves fax servers, raising its events on Pump().
class FakeSocket final : public Socket {
public:
    explicit FakeSocket(Journal &journal) : m_journal(journal) {}
    ~FakeSocket() override;
    void Listen() override;
    int State() const override { return state; }
    void Close() override;
    void Accept(int32_t requestId) override;
    void SendData(const std::string &bytes) override;
    uint16_t LocalPort() const override { return port; }

    int state = Closed;
    uint16_t port = 5555;
    bool portTaken = false;
    bool peerGone = false;
    std::vector<std::string> sent;
    // Runs as the bytes are handed over.
    std::function<void()> onSend;

    SocketEvents *events = nullptr;
    // Raises the events due; true when there were any.
    bool Pump();

private:
    friend class FakePeer;
    bool Connect(FakePeer &peer);
    void Forget(FakePeer &peer);
    void Raise(std::function<void(SocketEvents &)> event) { m_due.push_back(std::move(event)); }

    Journal &m_journal;
    int32_t m_lastRequest = 0;
    std::vector<std::pair<int32_t, FakePeer *>> m_waiting;
    FakePeer *m_peer = nullptr;
    std::vector<std::function<void(SocketEvents &)>> m_due;
};

// A fax server for FakeSocket, with the calls of the socket contract's peer.
class FakePeer {
public:
    explicit FakePeer(FakeSocket &socket) : m_socket(socket) {}
    ~FakePeer() { m_socket.Forget(*this); }
    bool Connect(bool ipv6);
    bool Poll() { return ended; }
    const std::string &Received() const { return received; }
    bool Ended() const { return ended; }
    bool WasReset() const { return false; }
    void Send(const std::string &) {}
    void ShutdownWrite() {}
    void Reset();

    std::string received;
    bool ended = false;
    bool gone = false;

private:
    FakeSocket &m_socket;
};

class FakeTray final : public Tray {
public:
    explicit FakeTray(Journal &journal) : m_journal(journal) {}
    void SetToolTip(const Text &value) override;
    void SetInTray(bool value) override;
    void PopUpMenu() override;
    Text tip;
    bool inTray = false;

private:
    Journal &m_journal;
};

class FakeBoxes final : public MessageBoxes {
public:
    explicit FakeBoxes(Journal &journal) : m_journal(journal) {}
    void Error(const Text &text, const Text &title) override;
    void Information(const Text &text, const Text &title) override;
    bool Question(const Text &text, const Text &title) override;
    void CloseAll() override;

    struct Shown {
        std::string kind, text, title;
        bool operator==(const Shown &) const = default;
    };
    std::vector<Shown> shown;
    // The answer to the next questions: true for OK.
    bool answer = true;
    // Runs while a box is open, as if the world moved on meanwhile.
    std::function<void()> whileOpen;
    // The journal's length at each CloseAll: where it came among the steps.
    std::vector<size_t> closedAllAt;

private:
    void Show(const std::string &kind, const Text &text, const Text &title);
    Journal &m_journal;
};

class FakeUrls final : public UrlOpener {
public:
    explicit FakeUrls(Journal &journal) : m_journal(journal) {}
    void Open(const Text &address) override;

private:
    Journal &m_journal;
};

class FakeTimer final : public Timer {
public:
    explicit FakeTimer(Journal &journal) : m_journal(journal) {}
    void Start(int intervalMs) override;
    void Stop() override;
    bool Active() const override { return active; }
    bool active = false;
    int interval = 0;

private:
    Journal &m_journal;
};
