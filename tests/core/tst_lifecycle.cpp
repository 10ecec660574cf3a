// Start-up, shutdown, the tray icon and the life of one request.
#include "core_harness.h"

#include <doctest/doctest.h>

#include <algorithm>

using Lines = std::vector<std::string>;

namespace {
const FakeBoxes::Shown kClosingNotice{
    "information", "Corvane Tesk is closing.  You need to restart the program in order to send faxes.", "Corvane Tesk"};
} // namespace

TEST_CASE("start-up puts the icon in the tray with its tip before opening the address book and listening")
{
    CoreHarness h;
    CHECK(h.journal.lines == Lines{"st.ToolTip Corvane Tesk (fax number manager)", "st.InTray"});
    h.Start();
    CHECK(h.journal.Since(2) == Lines{"wsk_connect.Listen"});
    CHECK(h.program->ClosePending() == frm_outlook::False);
    CHECK(h.boxes.shown.empty());
    CHECK_FALSE(h.window.visible);
    CHECK(h.program->lbl_recipient() == u"lbl_recipient");
    CHECK(h.program->lbl_connect() == u"Not connected");
}

TEST_CASE("start-up failures: two boxes, the address book released folder first, the icon removed, the program ends")
{
    CoreHarness h;
    SUBCASE("no address book")
    {
        h.open = []() -> std::unique_ptr<ContactStore> { throw StoreError("none here"); };
        h.Start();
        CHECK(h.boxes.shown
              == std::vector<FakeBoxes::Shown>{
                  {"error", "Microsoft Outlook was not detected on your PC.", "Outlook error"}, kClosingNotice});
        CHECK_FALSE(h.journal.Contains("wsk_connect.Listen"));
    }
    SUBCASE("the folder cannot be opened")
    {
        h.book->cannotOpen = true;
        h.Start();
        CHECK(h.boxes.shown.at(0).text == "Microsoft Outlook was not detected on your PC.");
        CHECK_FALSE(h.journal.Contains("wsk_connect.Listen"));
    }
    SUBCASE("the port is taken")
    {
        h.socket.portTaken = true;
        h.socket.port = 5555;
        h.Start();
        CHECK(h.boxes.shown
              == std::vector<FakeBoxes::Shown>{{"error",
                                                "Some other program may be binding port 5555.\r\nPlease clear this "
                                                "port and try again.",
                                                "Error binding listening port"},
                                               kClosingNotice});
        CHECK(h.journal.Since(h.journal.IndexOf("box information Corvane Tesk"))
              == Lines{"box information Corvane Tesk", "released folder", "released store", "st.OutOfTray",
                       "frm_outlook.Unload"});
    }
    CHECK_FALSE(h.tray.inTray);
    CHECK(h.window.unloaded);
    CHECK(h.program->IsUnloaded());
    CHECK_FALSE(h.journal.Contains("wsk_connect.Close"));
}

TEST_CASE("closing from the tray: the notice first, then a due connection closed, the address book released, the icon removed, the window unloaded")
{
    CoreHarness h;
    h.Start();
    h.Request();
    h.program->btn_cancel_Click();
    h.Request(2);
    h.Type("123");
    h.tab.page = TypedNumberPage;

    SUBCASE("after confirming a send, the connection is closed first")
    {
        h.program->btn_send_Click();
        const size_t mark = h.journal.Mark();
        h.program->mnu_exit_Click();
        CHECK(h.journal.Since(mark)
              == Lines{"box information Corvane Tesk", "wsk_connect.Close", "released folder", "released store",
                       "st.OutOfTray", "frm_outlook.Unload"});
    }
    SUBCASE("while the user is still choosing, the connection is left to go with the window")
    {
        const size_t mark = h.journal.Mark();
        h.program->mnu_exit_Click();
        CHECK(h.journal.Since(mark)
              == Lines{"box information Corvane Tesk", "released folder", "released store", "st.OutOfTray",
                       "frm_outlook.Unload"});
    }
    CHECK(h.boxes.shown.back() == kClosingNotice);
    CHECK(h.program->IsUnloaded());
}

TEST_CASE("closing while idle: nothing listens behind the closing notice")
{
    CoreHarness h;
    h.Start();
    int stateDuringNotice = -1;
    h.boxes.whileOpen = [&] { stateDuringNotice = h.socket.state; };
    h.program->mnu_exit_Click();
    CHECK(stateDuringNotice == Socket::Closed);
    CHECK(h.program->IsUnloaded());
}

TEST_CASE("quitting while the confirmation box is open sends nothing")
{
    CoreHarness h;
    h.Start();
    h.Request();
    h.Type("0123");
    h.tab.page = TypedNumberPage;
    h.boxes.whileOpen = [&] { h.program->mnu_exit_Click(); };
    h.program->btn_send_Click();
    CHECK(h.socket.sent.empty());
    CHECK(h.program->IsUnloaded());
}

TEST_CASE("the tray icon's mouse button pops up the menu, shown or hidden")
{
    CoreHarness h;
    h.Start();
    h.program->st_MouseButton();
    h.Request();
    h.program->st_MouseButton();
    CHECK(std::count(h.journal.lines.begin(), h.journal.lines.end(), "st.PopUpMenu") == 2);
}

TEST_CASE("the home-page link opens exactly its address, once")
{
    CoreHarness h;
    const size_t mark = h.journal.Mark();
    h.program->lbl_starthomepage_Click();
    CHECK(h.journal.Since(mark) == Lines{"url http://corvane.example/fax/"});
}

TEST_CASE("a request: the listener closed, the dialog shown and filled, and only then the connection taken")
{
    CoreHarness h;
    h.book->items = {Contact("Smith", "Ann")};
    h.Start();
    const size_t mark = h.journal.Mark();
    h.Request(7);
    const Lines steps = h.journal.Since(mark);
    CHECK(steps.front() == "wsk_connect.Close");
    CHECK(steps.back() == "wsk_connect.Accept 7");
    const auto shown = std::find(steps.begin(), steps.end(), "frm_outlook.Show");
    const auto added = std::find(steps.begin(), steps.end(), "addressList.Add Smith, Ann");
    CHECK(shown < added);
    CHECK(h.program->lbl_connect() == u"Connected...");
    CHECK(h.socket.state == Socket::Connected);
}

TEST_CASE("a fax server gone before its connection is taken ends the session quietly")
{
    CoreHarness h;
    h.Start();
    h.socket.peerGone = true;
    h.Request();
    CHECK_FALSE(h.window.visible);
    CHECK(h.socket.state == Socket::Listening);
    CHECK(h.boxes.shown.empty());
}

TEST_CASE("cancel closes the connection without a byte, hides and empties the dialog, and listens again")
{
    CoreHarness h;
    h.book->items = {Contact("Smith", "Ann", "1", "2", "3")};
    h.Start();
    h.Request();
    h.Choose("Smith, Ann");
    h.Type("555");
    const size_t mark = h.journal.Mark();
    h.program->btn_cancel_Click();
    CHECK(h.journal.Since(mark)
          == Lines{"wsk_connect.Close", "frm_outlook.Hide", "txt_faxno = ", "addressList.Clear",
                   "txt_outlookfaxno.Clear", "wsk_connect.Listen"});
    CHECK(h.socket.sent.empty());
    CHECK(h.program->lbl_businessfaxno().empty());
    CHECK(h.program->lbl_homefaxno().empty());
    CHECK(h.program->lbl_otherfaxno().empty());
    // The last chosen contact's text stays until the next choice.
    CHECK(h.program->lbl_recipient() == u"Smith, Ann");
    CHECK(h.program->ClosePending() == frm_outlook::False);
}

TEST_CASE("cancel before the first request closes the listener and listens anew")
{
    CoreHarness h;
    h.Start();
    const size_t mark = h.journal.Mark();
    h.program->btn_cancel_Click();
    CHECK(h.journal.Since(mark).front() == "wsk_connect.Close");
    CHECK(h.journal.Since(mark).back() == "wsk_connect.Listen");
    CHECK(h.socket.state == Socket::Listening);
}

TEST_CASE("the window's close button cancels a shown request and never ends the program")
{
    CoreHarness h;
    h.Start();
    h.program->Form_QueryUnload();
    CHECK_FALSE(h.journal.Contains("wsk_connect.Close"));
    h.Request();
    h.program->Form_QueryUnload();
    CHECK_FALSE(h.window.visible);
    CHECK(h.socket.state == Socket::Listening);
    CHECK_FALSE(h.program->IsUnloaded());
}

TEST_CASE("the port taken between sessions is reported once and tried again until free")
{
    CoreHarness h;
    h.Start();
    h.Request();
    h.socket.portTaken = true;
    h.program->btn_cancel_Click();
    CHECK(h.boxes.shown.size() == 1);
    CHECK(h.boxes.shown[0].title == "Error binding listening port");
    CHECK(h.timer.active);
    CHECK(h.timer.interval == frm_outlook::RelistenIntervalMs);
    h.program->tmr_relisten_Timer();
    CHECK(h.boxes.shown.size() == 1);
    h.socket.portTaken = false;
    h.program->tmr_relisten_Timer();
    CHECK(h.socket.state == Socket::Listening);
    CHECK_FALSE(h.timer.active);
    CHECK_FALSE(h.program->IsUnloaded());
}

TEST_CASE("a fax server that resets while the user chooses ends the session at once, with a word")
{
    CoreHarness h;
    h.Start();
    h.Request();
    h.program->wsk_connect_Error();
    CHECK_FALSE(h.window.visible);
    CHECK(h.socket.state == Socket::Listening);
    CHECK(h.boxes.shown
          == std::vector<FakeBoxes::Shown>{
              {"error", "The connection to the fax server was lost. No fax number was sent.", "Error"}});
    // An error after the session has ended changes nothing.
    const size_t mark = h.journal.Mark();
    h.program->wsk_connect_Error();
    CHECK(h.journal.Since(mark).empty());
}

TEST_CASE("fax servers that reset at an unattended desk leave one box, not one each")
{
    CoreHarness h;
    h.Start();
    h.Request(1);
    // While the first box waits, more fax servers connect and reset.
    h.boxes.whileOpen = [&] {
        for (int32_t id = 2; id <= 5; ++id) {
            h.Request(id);
            h.program->wsk_connect_Error();
        }
    };
    h.program->wsk_connect_Error();
    CHECK(h.boxes.shown.size() == 1);
    CHECK(h.journal.Contains("wsk_connect.Accept 5"));
    CHECK(h.socket.state == Socket::Listening);
    CHECK_FALSE(h.window.visible);
}

TEST_CASE("a request that begins while an earlier request's box is open closes it before the dialog shows")
{
    CoreHarness h;
    h.Start();
    h.Request(1);
    size_t mark = 0;
    // The lost-connection box is still up when the next fax server asks.
    h.boxes.whileOpen = [&] {
        mark = h.journal.Mark();
        h.Request(2);
    };
    h.program->wsk_connect_Error();
    REQUIRE(h.boxes.shown.size() == 1);
    const Lines since = h.journal.Since(mark);
    const size_t shown = mark + size_t(std::find(since.begin(), since.end(), "frm_outlook.Show") - since.begin());
    REQUIRE(shown < h.journal.Mark());
    const auto closed = std::find_if(h.boxes.closedAllAt.begin(), h.boxes.closedAllAt.end(),
                                     [&](size_t at) { return at >= mark && at <= shown; });
    CHECK(closed != h.boxes.closedAllAt.end());
    CHECK(h.journal.Contains("wsk_connect.Accept 2"));
}

TEST_CASE("a connection reset while the confirmation box is open: the answer then sends nothing")
{
    CoreHarness h;
    h.Start();
    h.Request();
    h.Type("123");
    h.tab.page = TypedNumberPage;
    h.boxes.whileOpen = [&] { h.program->wsk_connect_Error(); };
    h.program->btn_send_Click();
    CHECK(h.socket.sent.empty());
    CHECK(h.socket.state == Socket::Listening);
    CHECK(h.program->ClosePending() == frm_outlook::False);
}

TEST_CASE("sessions in a row each start clean, on the tab last used")
{
    CoreHarness h;
    h.book->items = {Contact("Smith", "Ann", "1")};
    h.Start();
    for (int32_t id = 1; id <= 3; ++id) {
        h.Request(id);
        CHECK_FALSE(h.send.enabled);
        CHECK(h.faxno.text.empty());
        CHECK(h.combo.entries.empty());
        CHECK(h.list.Texts() == Lines{"Smith, Ann"});
        CHECK(h.tab.page == (id == 1 ? AddressBookPage : TypedNumberPage));
        h.SelectTab(TypedNumberPage);
        h.Type("12");
        h.program->btn_cancel_Click();
    }
}
