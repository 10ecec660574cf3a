// A request whose address book has not changed since the last complete
// listing refills the list from what that listing showed; any change, a
// listing cut short, or a store that cannot tell makes it read again.
#include "core_harness.h"

#include <doctest/doctest.h>

#include <functional>
#include <utility>

using Lines = std::vector<std::string>;

namespace {
// The steps of one request up to the accept, which names the request. The
// entries added are counted, not named: a list sorts them as they come.
Lines Steps(CoreHarness &h, int32_t requestId)
{
    const size_t mark = h.journal.Mark();
    h.Request(requestId);
    Lines steps;
    int added = 0;
    for (const std::string &step : h.journal.Since(mark)) {
        if (step.starts_with("addressList.Add ")) {
            ++added;
            continue;
        }
        if (added > 0)
            steps.push_back(std::to_string(std::exchange(added, 0)) + " entries added");
        steps.push_back(step);
    }
    steps.pop_back();
    return steps;
}

void EndRequest(CoreHarness &h)
{
    h.program->btn_cancel_Click();
}

struct TwoRequests {
    CoreHarness h;
    TwoRequests()
    {
        h.book->items = {Contact("Zeta", "Zoe", "1"), Contact("Alpha", "Al", "2"), Company("Mid", "3", "4")};
        FakeContact group = Contact("Team", "");
        group.itemClass = DistributionListClass;
        h.book->items.insert(h.book->items.begin() + 1, group);
        h.Start();
    }
};
} // namespace

TEST_CASE_FIXTURE(TwoRequests, "an unchanged address book: no item read, the same steps, list and positions")
{
    const Lines first = Steps(h, 1);
    const std::vector<ListEntry> listed = h.list.entries;
    CHECK(h.list.readBacks == 0); // not while the user waits for the list
    EndRequest(h);
    CHECK(h.list.readBacks == 1);
    const int reads = h.book->itemReads;
    CHECK(reads == 4);

    for (int32_t request = 2; request <= 3; ++request) {
        CAPTURE(request);
        CHECK(Steps(h, request) == first);
        CHECK(h.book->itemReads == reads);
        CHECK(h.list.entries == listed);
        // The positions still reach their contacts.
        h.Choose("Mid - ()");
        CHECK(h.program->lbl_businessfaxno() == u"3");
        CHECK(h.program->lbl_homefaxno() == u"4");
        h.Choose("Zeta, Zoe");
        CHECK(h.program->lbl_businessfaxno() == u"1");
        EndRequest(h);
        CHECK(h.list.readBacks == 1);
    }
}

TEST_CASE_FIXTURE(TwoRequests, "a change made just before a request shows in that request")
{
    struct Case {
        const char *change;
        std::function<void(std::vector<FakeContact> &)> make;
    };
    const Case cases[] = {
        {"added", [](auto &items) { items.push_back(Contact("Beta", "Bo")); }},
        {"removed", [](auto &items) { items.erase(items.begin()); }},
        {"renamed", [](auto &items) { items[2].firstName = u"Alice"; }},
        {"moved", [](auto &items) { std::swap(items[0], items[2]); }},
        {"group made a contact",
         [](auto &items) {
             for (FakeContact &item : items)
                 item.itemClass = ContactClass;
         }},
    };
    for (const Case &c : cases) {
        const std::string change = c.change;
        CAPTURE(change);
        Steps(h, 1);
        EndRequest(h);
        c.make(h.book->items);
        const int reads = h.book->itemReads;
        Steps(h, 2);
        CHECK(h.book->itemReads == reads + int(h.book->items.size()));

        // What a program that never listed before shows.
        CoreHarness fresh;
        fresh.book->items = h.book->items;
        fresh.Start();
        fresh.Request();
        CHECK(h.list.entries == fresh.list.entries);
        EndRequest(h);
    }
}

TEST_CASE_FIXTURE(TwoRequests, "a listing cut short is not kept, even by a store that watches only for changes")
{
    h.book->changesOnly = true;
    SUBCASE("on the first request") {}
    SUBCASE("after a complete one")
    {
        Steps(h, 1);
        EndRequest(h);
        h.book->items.push_back(Contact("Beta", "Bo"));
    }
    h.book->failListingAfter = 3;
    Steps(h, 2);
    REQUIRE(h.list.Texts() == Lines{"Zeta, Zoe"});
    EndRequest(h);
    h.book->failListingAfter = -1;
    const int reads = h.book->itemReads;
    Steps(h, 3);
    CHECK(h.book->itemReads > reads);
    CHECK(h.list.Texts().size() == h.book->items.size() - 1);
    CHECK(h.boxes.shown.size() == 1); // the failed request's only
}

TEST_CASE_FIXTURE(TwoRequests, "a store that cannot tell is read on every request")
{
    h.book->cannotTell = true;
    for (int32_t request = 1; request <= 3; ++request) {
        const int reads = h.book->itemReads;
        Steps(h, request);
        CHECK(h.book->itemReads == reads + 4);
        EndRequest(h);
    }
}

TEST_CASE_FIXTURE(TwoRequests, "an address book that stops answering after a listing is read again, and the failure shown")
{
    Steps(h, 1);
    EndRequest(h);
    h.book->unreachable = true;
    Steps(h, 2);
    CHECK(h.list.entries.empty());
    CHECK(h.boxes.shown.back().text == "Error 1000: Outlook did not respond properly to a query.");
}
