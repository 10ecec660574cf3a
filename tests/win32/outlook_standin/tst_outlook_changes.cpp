// The Outlook store reads a listing through Outlook's table in few round
// trips, falls back to reading item by item when any table call fails, and
// tells cheaply whether the folder changed since: by the item collection's
// events, and by the folder's stamp for a change whose event is still on its
// way.
#include "standin_fixture.h"

#include <doctest/doctest.h>

#include <windows.h>

#include <chrono>
#include <functional>

namespace {
using standin::Server;

std::vector<std::string> Contacts(int n)
{
    std::vector<std::string> lines;
    for (int i = 1; i <= n; ++i)
        lines.push_back("40\tLast" + std::to_string(i) + "\tFirst\tCo\t" + std::to_string(i));
    return lines;
}

size_t CountOf(const std::vector<std::string> &journal, size_t from, const std::string &part)
{
    size_t count = 0;
    for (size_t i = from; i < journal.size(); ++i)
        count += journal[i].find(part) != std::string::npos;
    return count;
}

std::vector<ContactItem> List(ContactsFolder &folder)
{
    std::vector<ContactItem> items;
    folder.ListItems(items);
    return items;
}

// Lets the thread's messages run until the journal shows a line with the
// text, or ten seconds have gone.
bool PumpUntil(StandIn &standIn, const std::string &part)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (CountOf(standIn.Calls(), 0, part))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}
} // namespace

TEST_CASE("Outlook store: round trips to Outlook for a listing, an unchanged folder and a selection")
{
    StandIn standIn(Server::OutOfProcess);
    standIn.HoldServer();
    for (int n : {3, 2500}) {
        CAPTURE(n);
        standIn.Serve(Contacts(n));
        OutlookStore store;
        auto folder = store.OpenDefaultContactsFolder();
        const size_t mark = standIn.Calls().size();
        long before = standIn.ReceivedCalls();
        REQUIRE(List(*folder).size() == size_t(n));
        const long listing = standIn.ReceivedCalls() - before;
        CHECK(listing <= n / 200 + 50);
        const std::vector<std::string> journal = standIn.Calls();
        CHECK(CountOf(journal, mark, "call Count") == 0); // nothing item by item
        // Rows in chunks of 1,000, never more than remain; one row for the stamp.
        CHECK(CountOf(journal, mark, "call GetArray") == size_t((n + 999) / 1000 + 1));

        before = standIn.ReceivedCalls();
        CHECK_FALSE(folder->ChangedSinceListing());
        CHECK(standIn.ReceivedCalls() - before <= 10);

        // The first selection also looks up the members it reads.
        for (FaxKind kind : {FaxKind::Business, FaxKind::Home, FaxKind::Other})
            folder->FaxNumber(1, kind);
        before = standIn.ReceivedCalls();
        CHECK(folder->FaxNumber(n, FaxKind::Business) == FromUtf8(std::to_string(n)));
        CHECK(folder->FaxNumber(n, FaxKind::Home).empty());
        CHECK(folder->FaxNumber(n, FaxKind::Other).empty());
        CHECK(standIn.ReceivedCalls() - before <= 10);
    }
}

TEST_CASE("Outlook store: any failing table call gives the same listing item by item")
{
    StandIn standIn(Server::OutOfProcess);
    standIn.HoldServer();
    const std::vector<std::string> lines = {"40\tA\ta\t\t1", "69\tTeam", "40\tB\tb\tCo\t2"};
    for (const char *failing : {"GetTable", "Columns", "RemoveAll", "Add", "GetRowCount", "GetArray"}) {
        CAPTURE(failing);
        standIn.always = {std::string("!fail ") + failing};
        standIn.Serve(lines);
        OutlookStore store;
        auto folder = store.OpenDefaultContactsFolder();
        const size_t mark = standIn.Calls().size();
        std::vector<Text> names;
        for (const ContactItem &item : List(*folder))
            if (item.itemClass == ContactClass)
                names.push_back(item.lastName + u"/" + item.firstName + u"/" + item.companyName);
        CHECK(names == std::vector<Text>{u"A/a/", u"B/b/Co"});
        CHECK(CountOf(standIn.Calls(), mark, "call Count") == 1);
        CHECK(folder->FaxNumber(3, FaxKind::Business) == u"2");
        // Item by item the store cannot tell cheaply whether the folder changed.
        CHECK(folder->ChangedSinceListing());
    }
}

TEST_CASE_TEMPLATE_DEFINE("Outlook store: a change made just before a request is seen", T, changes)
{
    StandIn standIn(T::server);
    standIn.HoldServer();
    const std::vector<std::string> lines = {"40\tA\ta\t\t1", "40\tB\tb\t\t2", "69\tTeam"};
    struct Change {
        const char *what;
        std::vector<std::string> after;
        bool changed;
    };
    const std::vector<Change> changes = {
        {"nothing", lines, false},
        {"a contact added", {lines[0], lines[1], lines[2], "40\tC\tc"}, true},
        {"a contact removed", {lines[0], lines[2]}, true},
        {"a contact renamed", {lines[0], "40\tB2\tb\t\t2", lines[2]}, true},
        {"a contact removed and another added", {lines[0], "40\tC\tc", lines[2]}, true},
    };
    for (const Change &change : changes) {
        CAPTURE(change.what);
        standIn.Serve(lines);
        OutlookStore store;
        auto folder = store.OpenDefaultContactsFolder();
        CHECK(folder->ChangedSinceListing()); // nothing listed yet
        REQUIRE(List(*folder).size() == 2);
        CHECK_FALSE(folder->ChangedSinceListing());
        // Changed right before the next request: no message has run since.
        standIn.Serve(change.after);
        CHECK(folder->ChangedSinceListing() == change.changed);
        if (change.changed) {
            List(*folder);
            CHECK_FALSE(folder->ChangedSinceListing());
        }
    }
}
template <Server kServer>
struct Served {
    static constexpr Server server = kServer;
};
TEST_CASE_TEMPLATE_INVOKE(changes, Served<Server::OutOfProcess>, Served<Server::InProcess>);

TEST_CASE("Outlook store: an event of the item collection tells of a change without asking Outlook")
{
    StandIn standIn(Server::OutOfProcess);
    standIn.Serve({"40\tA\ta\t\t1", "40\tB\tb\t\t2"});
    OutlookStore store;
    auto folder = store.OpenDefaultContactsFolder();
    REQUIRE(List(*folder).size() == 2);
    standIn.Serve({"40\tA\ta\t\t1", "40\tB2\tb\t\t2"});
    // The stand-in takes up the change on its own and tells the store.
    REQUIRE(PumpUntil(standIn, "Items delivered ItemChange"));
    const long before = standIn.ReceivedCalls();
    CHECK(folder->ChangedSinceListing());
    CHECK(standIn.ReceivedCalls() == before);
}
