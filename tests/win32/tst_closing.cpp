// How the program ends and hands over between requests: a request queued
// behind the unload, the end of the desktop session, and a box left from an
// earlier request when the next one begins.
#include "front_end_harness.h"

#include <doctest/doctest.h>

#include <string_view>
#include <utility>

namespace {
constexpr UINT kListenerMessage = WM_APP + 1; // the socket's connection event
constexpr UINT kMarker = WM_APP + 77;

// Whether a socket message for the listener waits in the queue, undelivered.
bool ListenerEventQueued()
{
    MSG message;
    return PeekMessageW(&message, nullptr, kListenerMessage, kListenerMessage, PM_NOREMOVE | PM_NOYIELD) != 0;
}

// Waits, delivering nothing, until the listener's event is queued.
bool WaitUntilListenerEventQueued()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!ListenerEventQueued()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE);
    }
    return true;
}

// Delivers everything queued now, and only that: up to a marker posted last.
void DeliverQueued()
{
    PostThreadMessageW(GetCurrentThreadId(), kMarker, 0, 0);
    bool marked = false;
    REQUIRE(PumpUntil([&] {
        MSG message;
        while (!marked && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.hwnd == nullptr && message.message == kMarker)
                marked = true;
            else {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        return marked;
    }));
}
} // namespace

TEST_CASE_FIXTURE(FrontEndHarness, "a connection request queued behind the unload never reaches the program")
{
    Journal journal;
    book->journal = &journal;
    book->items = {Contact("Smith", "Ann", "1")};
    Start();
    TestPeer peer;
    REQUIRE(peer.Connect(program->Socket().LocalPort()));
    // The system has posted the request; the program has not seen it yet.
    REQUIRE(WaitUntilListenerEventQueued());
    SUBCASE("the tray menu's exit") { program->Logic().mnu_exit_Click(); }
    SUBCASE("the desktop session ending") { program->Logic().Unload(); }
    REQUIRE(unloaded);
    REQUIRE(journal.Contains("released store"));
    // Still listening, the request would reach a program without its address
    // book (and end this test with a crash).
    REQUIRE(program->Socket().State() == Socket::Closed);
    DeliverQueued();
    CHECK_FALSE(IsWindowVisible(program->Dialog().Handle()));
    CHECK(program->Logic().lbl_connect() == u"Not connected");
    REQUIRE(PumpUntil([&] { return peer.Poll(); }));
    CHECK(peer.Received().empty());
}

TEST_CASE_FIXTURE(FrontEndHarness, "logoff ends the program as a termination signal does: the request closed, no box")
{
    Journal journal;
    book->journal = &journal;
    Start();
    TestPeer peer;
    REQUIRE(Request(peer));
    HWND watcher = program->SessionEnd().Handle();
    // Another program refusing: the session goes on, and so does the request.
    CHECK(SendMessageW(watcher, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == TRUE);
    SendMessageW(watcher, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    CHECK_FALSE(unloaded);
    CHECK(program->Socket().State() == Socket::Connected);

    record.notifications.clear();
    SendMessageW(watcher, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    CHECK(unloaded);
    CHECK(journal.Contains("released folder"));
    CHECK(journal.Contains("released store"));
    REQUIRE(record.notifications.size() == 1);
    CHECK(record.notifications[0].message == NIM_DELETE);
    CHECK(record.boxes.empty());
    REQUIRE(PumpUntil([&] { return peer.Poll(); }));
    CHECK(peer.Received().empty());
    CHECK_FALSE(peer.WasReset());
}

namespace {
// A message box of this thread (not of another program on the desktop).
HWND ThreadBox()
{
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM result) -> BOOL {
            wchar_t name[16] = {};
            if (GetClassNameW(window, name, 16) && std::wstring_view(name) == L"#32770") {
                *reinterpret_cast<HWND *>(result) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Real boxes, for the one test that needs a box to stay up: MessageBoxW
// runs its own loop, in which timers still fire.
struct LiveBoxes {
    static inline std::function<void()> whileUp; // once, on the box's loop
    static inline std::function<bool()> stuck;   // true: the test ends the box
    static inline bool endedByTest = false;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        if (whileUp) {
            std::exchange(whileUp, nullptr)();
            return;
        }
        if (!stuck || !stuck())
            return;
        endedByTest = true;
        if (HWND box = ThreadBox())
            EndDialog(box, IDCANCEL);
    }
    static int WINAPI Show(HWND owner, LPCWSTR text, LPCWSTR title, UINT flags)
    {
        SystemRecord::Current().boxes.push_back(BoxCall{owner, text, title, flags});
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, &Tick);
        const int answer = MessageBoxW(owner, text, title, flags);
        KillTimer(nullptr, timer);
        return answer;
    }
};
} // namespace

TEST_CASE("the next request closes the lost-connection box, and its dialog takes input")
{
    SystemCalls calls;
    calls.messageBox = &LiveBoxes::Show;
    calls.notifyIcon = [](DWORD, PNOTIFYICONDATAW) -> BOOL { return TRUE; };
    auto book = std::make_shared<FakeAddressBook>();
    FrontEnd program(GetModuleHandleW(nullptr), FreePort(), [book] { return std::make_unique<FakeContactStore>(book); },
                     calls);
    program.SetOnQuit([] {});
    SystemRecord::Current() = SystemRecord{};
    program.Logic().Form_Load();

    TestPeer first, second;
    REQUIRE(first.Connect(program.Socket().LocalPort()));
    REQUIRE(PumpUntil([&] { return program.Socket().State() == Socket::Connected; }));
    // Once the box for the first fax server's reset is up, the next one asks.
    LiveBoxes::endedByTest = false;
    LiveBoxes::whileUp = [&] { REQUIRE(second.Connect(program.Socket().LocalPort())); };
    LiveBoxes::stuck = [&] { return program.Socket().State() == Socket::Connected; };
    first.Reset();
    REQUIRE(PumpUntil([&] { return !SystemRecord::Current().boxes.empty() && !LiveBoxes::whileUp; }));
    REQUIRE(PumpUntil([&] { return program.Socket().State() == Socket::Connected; }));
    LiveBoxes::stuck = nullptr;
    CHECK(SystemRecord::Current().boxes.size() == 1);
    CHECK_FALSE(LiveBoxes::endedByTest);
    CHECK(ThreadBox() == nullptr);
    CHECK(IsWindowVisible(program.Dialog().Handle()));
    CHECK(IsWindowEnabled(program.Dialog().Handle()));
    program.Logic().btn_cancel_Click();
    REQUIRE(PumpUntil([&] { return second.Poll(); }));
}
