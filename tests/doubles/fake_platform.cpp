#include "fake_platform.h"

#include <algorithm>
#include <utility>

std::vector<std::string> Journal::Since(size_t mark) const
{
    return {lines.begin() + std::ptrdiff_t(mark), lines.end()};
}

bool Journal::Contains(const std::string &line) const
{
    return IndexOf(line) >= 0;
}

int Journal::IndexOf(const std::string &line) const
{
    const auto found = std::find(lines.begin(), lines.end(), line);
    return found == lines.end() ? -1 : int(found - lines.begin());
}

std::string Utf8(const Text &text)
{
    return ToUtf8(text);
}

void FakeWindow::Show()
{
    visible = true;
    m_journal.Add("frm_outlook.Show");
}

void FakeWindow::Hide()
{
    visible = false;
    m_journal.Add("frm_outlook.Hide");
}

void FakeWindow::SetBusyPointer(bool isBusy)
{
    busy = isBusy;
    m_journal.Add(isBusy ? "frm_outlook.BusyPointer" : "frm_outlook.DefaultPointer");
}

void FakeWindow::Unload()
{
    unloaded = true;
    m_journal.Add("frm_outlook.Unload");
}

void FakeButton::SetEnabled(bool value)
{
    enabled = value;
    m_journal.Add(m_name + (value ? ".Enable" : ".Disable"));
}

void FakeLabel::SetCaption(const Text &value)
{
    caption = value;
    m_journal.Add(m_name + " = " + Utf8(value));
}

void FakeTextBox::SetText(const Text &value)
{
    text = value;
    m_journal.Add("txt_faxno = " + Utf8(value));
}

void FakeListBox::SetEnabled(bool value)
{
    enabled = value;
    m_journal.Add(value ? "addressList.Enable" : "addressList.Disable");
}

void FakeListBox::Clear()
{
    entries.clear();
    selected = -1;
    m_journal.Add("addressList.Clear");
}

void FakeListBox::BeginFill()
{
    m_journal.Add("addressList.BeginFill");
}

void FakeListBox::EndFill()
{
    m_journal.Add("addressList.EndFill");
}

int FakeListBox::AddItem(const Text &text)
{
    const auto at = std::upper_bound(entries.begin(), entries.end(), text,
                                     [](const Text &t, const Entry &entry) { return t < entry.text; });
    const int index = int(at - entries.begin());
    entries.insert(at, Entry{text, 0});
    m_journal.Add("addressList.Add " + Utf8(text));
    return index;
}

void FakeListBox::SetItemData(int index, int32_t data)
{
    entries.at(size_t(index)).data = data;
}

void FakeListBox::AddSorted(const std::vector<ListEntry> &sorted)
{
    for (const ListEntry &entry : sorted) {
        entries.push_back(entry);
        m_journal.Add("addressList.Add " + Utf8(entry.text));
    }
}

std::vector<ListEntry> FakeListBox::Entries() const
{
    ++readBacks;
    return entries;
}

Text FakeListBox::ItemText(int index) const
{
    return entries.at(size_t(index)).text;
}

int32_t FakeListBox::ItemData(int index) const
{
    return entries.at(size_t(index)).data;
}

int FakeListBox::Find(const std::string &text) const
{
    for (size_t i = 0; i < entries.size(); ++i) {
        if (Utf8(entries[i].text) == text)
            return int(i);
    }
    return -1;
}

std::vector<std::string> FakeListBox::Texts() const
{
    std::vector<std::string> texts;
    for (const Entry &entry : entries)
        texts.push_back(Utf8(entry.text));
    return texts;
}

void FakeComboBox::Clear()
{
    entries.clear();
    selected = -1;
    m_journal.Add("txt_outlookfaxno.Clear");
}

void FakeComboBox::AddItem(const Text &text)
{
    entries.push_back(text);
    m_journal.Add("txt_outlookfaxno.Add " + Utf8(text));
}

void FakeComboBox::SetSelectedIndex(int index)
{
    selected = index;
    m_journal.Add("txt_outlookfaxno.Select " + std::to_string(index));
}

Text FakeComboBox::ItemText(int index) const
{
    return index >= 0 && size_t(index) < entries.size() ? entries[size_t(index)] : Text();
}

std::vector<std::string> FakeComboBox::Texts() const
{
    std::vector<std::string> texts;
    for (const Text &entry : entries)
        texts.push_back(Utf8(entry));
    return texts;
}

FakeSocket::~FakeSocket()
{
    if (m_peer)
        m_peer->ended = true;
}

void FakeSocket::Listen()
{
    m_journal.Add("wsk_connect.Listen");
    if (portTaken)
        throw SocketError("port taken");
    state = Listening;
}

void FakeSocket::Close()
{
    m_journal.Add("wsk_connect.Close");
    if (m_peer)
        m_peer->ended = true;
    m_peer = nullptr;
    state = Closed;
}

void FakeSocket::Accept(int32_t requestId)
{
    m_journal.Add("wsk_connect.Accept " + std::to_string(requestId));
    if (peerGone)
        throw SocketError("peer gone");
    if (events) {
        const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
                                          [&](const auto &entry) { return entry.first == requestId; });
        if (waiting == m_waiting.end() || waiting->second->gone)
            throw SocketError("no such request waiting");
        m_peer = waiting->second;
        m_waiting.erase(waiting);
    }
    state = Connected;
}

void FakeSocket::SendData(const std::string &bytes)
{
    m_journal.Add("wsk_connect.SendData");
    sent.push_back(bytes);
    if (onSend)
        onSend();
    if (m_peer && !m_peer->gone) {
        m_peer->received += bytes;
        Raise([](SocketEvents &sink) { sink.wsk_connect_SendComplete(); });
    } else {
        Raise([](SocketEvents &sink) { sink.wsk_connect_SendFailed(); });
    }
}

bool FakeSocket::Pump()
{
    if (!events || m_due.empty())
        return false;
    for (auto &event : std::exchange(m_due, {}))
        event(*events);
    return true;
}

bool FakeSocket::Connect(FakePeer &peer)
{
    if (state != Listening)
        return false;
    const int32_t id = ++m_lastRequest;
    m_waiting.emplace_back(id, &peer);
    Raise([id](SocketEvents &sink) { sink.wsk_connect_ConnectionRequest(id); });
    return true;
}

void FakeSocket::Forget(FakePeer &peer)
{
    std::erase_if(m_waiting, [&](const auto &entry) { return entry.second == &peer; });
    if (m_peer == &peer)
        m_peer = nullptr;
}

bool FakePeer::Connect(bool)
{
    return m_socket.Connect(*this);
}

void FakePeer::Reset()
{
    gone = true;
    ended = true;
    if (m_socket.m_peer == this)
        m_socket.Raise([](SocketEvents &sink) { sink.wsk_connect_Error(); });
}

void FakeTray::SetToolTip(const Text &value)
{
    tip = value;
    m_journal.Add("st.ToolTip " + Utf8(value));
}

void FakeTray::SetInTray(bool value)
{
    inTray = value;
    m_journal.Add(value ? "st.InTray" : "st.OutOfTray");
}

void FakeTray::PopUpMenu()
{
    m_journal.Add("st.PopUpMenu");
}

void FakeBoxes::Show(const std::string &kind, const Text &text, const Text &title)
{
    shown.push_back({kind, Utf8(text), Utf8(title)});
    m_journal.Add("box " + kind + " " + Utf8(title));
    if (whileOpen)
        std::exchange(whileOpen, nullptr)();
}

void FakeBoxes::Error(const Text &text, const Text &title)
{
    Show("error", text, title);
}

void FakeBoxes::Information(const Text &text, const Text &title)
{
    Show("information", text, title);
}

bool FakeBoxes::Question(const Text &text, const Text &title)
{
    Show("question", text, title);
    return answer;
}

void FakeBoxes::CloseAll()
{
    closedAllAt.push_back(m_journal.Mark());
}

void FakeUrls::Open(const Text &address)
{
    m_journal.Add("url " + Utf8(address));
}

void FakeTimer::Start(int intervalMs)
{
    active = true;
    interval = intervalMs;
    m_journal.Add("tmr_relisten.Start");
}

void FakeTimer::Stop()
{
    active = false;
}
