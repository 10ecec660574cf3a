// "Send this fax": the confirmation, the reply and the send-button rules.
#include "core_harness.h"

#include <doctest/doctest.h>

using Lines = std::vector<std::string>;

namespace {
struct InSession : CoreHarness {
    InSession()
    {
        book->items = {Contact("Smith", "John", "", "012 345 678"), Company("Acme", "+12 (3) 456", "9", "8")};
        Start();
        Request();
    }
};
} // namespace

TEST_CASE("a typed number: the box shows its digits and on OK the reply is the four lines, byte-exact")
{
    InSession h;
    h.SelectTab(TypedNumberPage);
    h.Type("(012) 345-678");
    h.program->btn_send_Click();
    CHECK(h.boxes.shown.back()
          == FakeBoxes::Shown{"question",
                              "Sending fax to: \r\n-> Fax number: 012345678\r\n\r\nAre you certain these details are "
                              "correct?",
                              "Fax transmission!"});
    REQUIRE(h.socket.sent.size() == 1);
    CHECK(h.socket.sent[0] == "012345678\r\n \r\n \r\n \r\n");
    CHECK(h.program->ClosePending() == frm_outlook::True);
    // The dialog stays until the data has gone.
    CHECK(h.window.visible);
    h.program->wsk_connect_SendComplete();
    CHECK_FALSE(h.window.visible);
    CHECK(h.socket.state == Socket::Listening);
    CHECK(h.program->ClosePending() == frm_outlook::False);
}

TEST_CASE("the flag is set before the reply is handed to the socket, and the reply goes in one call")
{
    InSession h;
    h.SelectTab(TypedNumberPage);
    h.Type("1");
    bool pendingWhenSent = false;
    h.socket.onSend = [&] { pendingWhenSent = h.program->ClosePending() == frm_outlook::True; };
    h.program->btn_send_Click();
    CHECK(pendingWhenSent);
    CHECK(std::count(h.journal.lines.begin(), h.journal.lines.end(), "wsk_connect.SendData") == 1);
}

TEST_CASE("a chosen contact: the box names the recipient and line 3 is the selected list entry")
{
    InSession h;
    h.Choose("Smith, John");
    h.combo.selected = 0; // the user picks the home number
    h.program->btn_send_Click();
    CHECK(h.boxes.shown.back().text
          == "Sending fax to: \r\n-> Fax recipient: Smith, John\r\n-> Fax number: 012345678\r\n\r\nAre you certain "
             "these details are correct?");
    REQUIRE(h.socket.sent.size() == 1);
    CHECK(h.socket.sent[0] == "012345678\r\n \r\nSmith, John\r\n \r\n");
}

TEST_CASE("line 3 is read from the list's selected entry when the reply is built")
{
    InSession h;
    h.Choose("Acme - ()");
    // What the list shows for the entry, should it differ from what was chosen.
    h.list.entries[size_t(h.list.selected)].text = u"Acme - () \u00e9\n";
    h.program->btn_send_Click();
    REQUIRE(h.socket.sent.size() == 1);
    CHECK(h.socket.sent[0] == "123456\r\n \r\nAcme - () \xc3\xa9 \r\n \r\n");
}

TEST_CASE("contact mode with no combo entry picked sends the empty number")
{
    InSession h;
    h.Choose("Smith, John");
    h.combo.selected = -1; // the drop-down lost its choice
    h.program->btn_send_Click();
    CHECK(h.socket.sent.at(0) == "\r\n \r\nSmith, John\r\n \r\n");
}

TEST_CASE("contact mode with no list entry selected sends nothing and asks nothing")
{
    InSession h;
    h.Choose("Acme - ()");
    h.list.selected = -1; // the selection was cleared
    h.program->btn_send_Click();
    CHECK(h.boxes.shown.empty());
    CHECK(h.socket.sent.empty());
}

TEST_CASE("Cancel in the box changes nothing; Send asks again with the current input")
{
    InSession h;
    h.SelectTab(TypedNumberPage);
    h.Type("1");
    h.boxes.answer = false;
    h.program->btn_send_Click();
    CHECK(h.socket.sent.empty());
    CHECK(h.program->ClosePending() == frm_outlook::False);
    CHECK(h.window.visible);
    h.Type("2");
    h.boxes.answer = true;
    h.program->btn_send_Click();
    CHECK(h.socket.sent.at(0) == "2\r\n \r\n \r\n \r\n");
}

TEST_CASE("Send on the About page does nothing at all")
{
    InSession h;
    h.Type("1");
    h.tab.page = AboutPage;
    const size_t mark = h.journal.Mark();
    h.program->btn_send_Click();
    CHECK(h.journal.Since(mark).empty());
}

TEST_CASE("one reply per request: after OK nothing more can be sent on that connection")
{
    InSession h;
    h.SelectTab(TypedNumberPage);
    h.Type("111");
    h.program->btn_send_Click();
    h.Type("222");
    h.program->btn_send_Click();
    CHECK(h.socket.sent == Lines{"111\r\n \r\n \r\n \r\n"});
    CHECK(h.boxes.shown.size() == 1);
}

TEST_CASE("the fax server gone before the reply reached it: the session ends and the user is told")
{
    InSession h;
    h.SelectTab(TypedNumberPage);
    h.Type("1");
    h.program->btn_send_Click();
    h.program->wsk_connect_SendFailed();
    CHECK_FALSE(h.window.visible);
    CHECK(h.socket.state == Socket::Listening);
    CHECK(h.boxes.shown.back().text == "The connection to the fax server was lost. No fax number was sent.");
    CHECK(h.boxes.shown.back().title == "Error");
}

TEST_CASE("a completion or failure arriving after Cancel leaves the next request alone")
{
    InSession h;
    h.SelectTab(TypedNumberPage);
    h.Type("1");
    h.program->btn_send_Click();
    h.program->btn_cancel_Click();
    h.Request(2); // the next fax server is already being served
    const size_t mark = h.journal.Mark();
    SUBCASE("send complete") { h.program->wsk_connect_SendComplete(); }
    SUBCASE("send failed") { h.program->wsk_connect_SendFailed(); }
    CHECK(h.journal.Since(mark).empty());
    CHECK(h.window.visible);
    CHECK(h.socket.state == Socket::Connected);
}

TEST_CASE("the send button follows the tab and the typed text")
{
    InSession h;
    SUBCASE("typing enables it on any tab; emptying the box disables it")
    {
        h.Type(" ");
        CHECK(h.send.enabled);
        h.Type("");
        CHECK_FALSE(h.send.enabled);
    }
    SUBCASE("tab 0 follows the text box, tab 2 disables")
    {
        h.faxno.text = u"x";
        h.SelectTab(TypedNumberPage);
        CHECK(h.send.enabled);
        h.SelectTab(AboutPage);
        CHECK_FALSE(h.send.enabled);
        h.SelectTab(TypedNumberPage);
        CHECK(h.send.enabled);
    }
    SUBCASE("tab 1 needs all three numbers of the chosen contact")
    {
        h.Choose("Smith, John");
        CHECK(h.send.enabled);
        h.SelectTab(TypedNumberPage);
        h.SelectTab(AddressBookPage);
        CHECK_FALSE(h.send.enabled);
        h.Choose("Acme - ()");
        h.SelectTab(AboutPage);
        h.SelectTab(AddressBookPage);
        CHECK(h.send.enabled);
    }
    SUBCASE("tab 1 before any contact is chosen")
    {
        h.SelectTab(TypedNumberPage);
        h.Type("1");
        h.SelectTab(AddressBookPage);
        CHECK_FALSE(h.send.enabled);
    }
}
