// Listing the address book into the dialog and choosing a contact.
#include "core_harness.h"

#include <doctest/doctest.h>

using Lines = std::vector<std::string>;

TEST_CASE("a listing runs its steps in order: controls off, busy, headline, shown, filled, headline back, controls on, pointer back")
{
    CoreHarness h;
    h.book->items = {Contact("Smith", "Ann"), Contact("Brown", "Bob")};
    h.Start();
    h.send.enabled = true; // as a typed number would have left it
    const size_t mark = h.journal.Mark();
    h.Request(3);
    CHECK(h.journal.Since(mark)
          == Lines{"wsk_connect.Close",
                   "btn_send.Disable",
                   "addressList.Disable",
                   "btn_cancel.Disable",
                   "addressList.Clear",
                   "frm_outlook.BusyPointer",
                   "fax_notify = Loading your Outlook contacts...",
                   "frm_outlook.Show",
                   "addressList.BeginFill",
                   "addressList.Add Smith, Ann",
                   "addressList.Add Brown, Bob",
                   "addressList.EndFill",
                   "fax_notify = Sending a fax to... ?",
                   "addressList.Enable",
                   "btn_cancel.Enable",
                   "frm_outlook.DefaultPointer",
                   "wsk_connect.Accept 3"});
    CHECK_FALSE(h.send.enabled);
    CHECK(h.list.selected == -1);
}

TEST_CASE("items of other classes are skipped; each entry keeps its item's true position, wherever it lands in the list")
{
    CoreHarness h;
    FakeContact group = Contact("Team", "");
    group.itemClass = DistributionListClass;
    h.book->items = {Contact("Zeta", "Zoe"), group, Contact("Alpha", "Al")};
    h.Start();
    h.Request();
    CHECK(h.list.Texts() == Lines{"Alpha, Al", "Zeta, Zoe"});
    CHECK(h.list.entries[0].data == 3);
    CHECK(h.list.entries[1].data == 1);
}

TEST_CASE("address books past 32,767 items are listed in full")
{
    CoreHarness h;
    for (int i = 0; i < 40000; ++i)
        h.book->items.push_back(Contact("N" + std::to_string(100000 + i), ""));
    h.Start();
    h.Request();
    REQUIRE(h.list.entries.size() == 40000);
    CHECK(h.list.entries.back().data == 40000);
}

TEST_CASE("a listing that fails keeps what was read, restores the dialog, reports, and still takes the connection")
{
    CoreHarness h;
    h.book->items = {Contact("A", "a"), Contact("B", "b"), Contact("C", "c")};
    h.book->failListingAfter = 2;
    h.Start();
    h.Request(5);
    CHECK(h.list.Texts() == Lines{"A, a"});
    CHECK(h.list.enabled);
    CHECK(h.cancel.enabled);
    CHECK_FALSE(h.window.busy);
    CHECK(h.notify.caption == u"Sending a fax to... ?");
    CHECK(h.boxes.shown.at(0).text == "Error 1000: Outlook did not respond properly to a query.");
    CHECK(h.journal.lines.back() == "wsk_connect.Accept 5");
}

TEST_CASE("choosing a contact offers its fax numbers and picks one: the business number, else the first offered")
{
    struct Case {
        FakeContact contact;
        Lines entries;
        int selected;
        bool sendEnabled;
    };
    const Case cases[] = {
        {Contact("N", "o"), {}, -1, false},
        {Contact("H", "o", "", "+49 (30) 1"), {"Home fax: +49 (30) 1"}, 0, true},
        {Contact("B", "o", "12", "", "34"), {"Business fax: 12", "Other fax: 34"}, 0, true},
        {Contact("A", "ll", "1", "2", "3"), {"Business fax: 1", "Home fax: 2", "Other fax: 3"}, 0, true},
        {Contact("O", "nly", "", "", " 9 "), {"Other fax:  9 "}, 0, true},
        {Contact("H", "O", "", "5", "6"), {"Home fax: 5", "Other fax: 6"}, 0, true},
    };
    for (const Case &c : cases) {
        CoreHarness h;
        h.book->items = {c.contact};
        h.Start();
        h.Request();
        const std::string text = ToUtf8(c.contact.lastName) + ", " + ToUtf8(c.contact.firstName);
        h.Choose(text);
        CAPTURE(text);
        CHECK(h.combo.Texts() == c.entries);
        CHECK(h.combo.selected == c.selected);
        CHECK(h.send.enabled == c.sendEnabled);
        CHECK(h.program->lbl_recipient() == FromUtf8(text));
        CHECK(h.program->lbl_businessfaxno() == c.contact.businessFax);
        CHECK(h.program->lbl_homefaxno() == c.contact.homeFax);
        CHECK(h.program->lbl_otherfaxno() == c.contact.otherFax);
    }
}

TEST_CASE("each choice disables Send and empties the combo before it reads, and rebuilds it for the new contact")
{
    CoreHarness h;
    h.book->items = {Contact("A", "a", "1", "2", "3"), Contact("B", "b", "", "4")};
    h.Start();
    h.Request();
    h.Choose("A, a");
    const size_t mark = h.journal.Mark();
    h.Choose("B, b");
    CHECK(h.journal.Since(mark)
          == Lines{"btn_send.Disable", "txt_outlookfaxno.Clear", "txt_outlookfaxno.Add Home fax: 4", "btn_send.Enable",
                   "txt_outlookfaxno.Select 0"});
    CHECK(h.combo.Texts() == Lines{"Home fax: 4"});
}

TEST_CASE("a contact with no names is listed with the empty text and chosen as the empty recipient")
{
    CoreHarness h;
    h.book->items = {Contact("", "", "1")};
    h.Start();
    h.Request();
    h.Choose("");
    CHECK(h.program->lbl_recipient().empty());
    CHECK(h.send.enabled);
}

TEST_CASE("a contact gone since the listing gives the error box; nothing of another contact is offered")
{
    CoreHarness h;
    h.book->items = {Contact("A", "a", "1"), Contact("B", "b", "2")};
    h.Start();
    h.Request();
    h.Choose("A, a");
    h.book->items = {Contact("B", "b", "2")};
    h.Choose("A, a");
    CHECK(h.boxes.shown.back().text == "Error 1000: Outlook did not respond properly to a query.");
    CHECK(h.boxes.shown.back().title == "Error");
    CHECK(h.combo.entries.empty());
    CHECK_FALSE(h.send.enabled);
}

TEST_CASE("an address book that stops answering: the error box, labels written before the failure keep their new text")
{
    CoreHarness h;
    h.book->items = {Contact("A", "a", "1", "2", "3"), Contact("B", "b")};
    h.Start();
    h.Request();
    h.Choose("A, a");
    h.book->unreachable = true;
    h.Choose("B, b");
    CHECK(h.program->lbl_recipient() == u"B, b");
    CHECK(h.program->lbl_businessfaxno() == u"1");
    CHECK(h.combo.entries.empty());
    CHECK_FALSE(h.send.enabled);
    CHECK(h.boxes.shown.back().text == "Error 1000: Outlook did not respond properly to a query.");
}
