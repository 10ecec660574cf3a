// The Outlook store's own rules, seen from the stand-in's journal of every
// call it was asked: how Outlook is opened and let go, how often the item
// collection is fetched item by item, that member IDs are looked up once and
// kept, and how values that are not plain text are read.
#include "standin_fixture.h"
#include "standin_ids.h"

#include <doctest/doctest.h>

#include <windows.h>

#include <chrono>
#include <map>
#include <set>
#include <functional>
#include <sstream>
#include <thread>

namespace {
using standin::Server;

// One journal line: "Kind#serial event member".
struct Call {
    std::string object, event, member;
    std::string Kind() const { return object.substr(0, object.find('#')); }
};

std::vector<Call> Parse(const std::vector<std::string> &lines)
{
    std::vector<Call> calls;
    for (const std::string &line : lines) {
        std::istringstream in(line);
        Call call;
        in >> call.object >> call.event >> call.member;
        calls.push_back(call);
    }
    return calls;
}

std::vector<Call> Calls(const StandIn &standIn) { return Parse(standIn.Calls()); }

size_t CountOf(const std::vector<Call> &calls, const std::string &event, const std::string &member)
{
    size_t count = 0;
    for (const Call &call : calls)
        count += call.event == event && call.member == member;
    return count;
}

std::string ErrorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const StoreError &error) {
        return error.what();
    }
    return "(no error)";
}

bool Contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

const std::vector<std::string> kThree = {
    "40\tSmith\tAnn\tAcme\t+49 30 1\t2\t3",
    "69\tTeam",
    "40\tJones\tBob\t\t\t\t9",
};
} // namespace

TEST_CASE("Outlook store: opening Outlook and its Contacts folder")
{
    StandIn standIn(Server::OutOfProcess);
    standIn.Serve(kThree);

    SUBCASE("Outlook not installed: the ProgID is not registered")
    {
        standin::Unregister();
        CHECK(Contains(ErrorOf([] { OutlookStore store; }), "not installed"));
    }
    SUBCASE("the MAPI namespace, then the default Contacts folder; both kept, the folder's events connected")
    {
        OutlookStore store;
        auto folder = store.OpenDefaultContactsFolder();
        std::vector<std::string> events;
        for (const Call &call : Calls(standIn))
            if (call.event != "name")
                events.push_back(call.Kind() + " " + call.event
                                 + (call.member.empty() || call.event == "advise" ? "" : " " + call.member));
        // The stand-in answers only GetNamespace("MAPI") and GetDefaultFolder(10).
        CHECK(events
              == std::vector<std::string>{"Application created", "Application call GetNamespace",
                                          "NameSpace call GetDefaultFolder", "Folder call EntryID",
                                          "Folder call Items", "Items advise"});
        CHECK(folder->Count() == 3);
    }
    SUBCASE("each step that fails is an error that names it")
    {
        for (const char *step : {"GetNamespace", "GetDefaultFolder"}) {
            CAPTURE(step);
            standIn.Serve({std::string("!fail ") + step});
            OutlookStore store;
            const std::string error = ErrorOf([&] { store.OpenDefaultContactsFolder(); });
            CHECK(Contains(error, step));
            CHECK(Contains(error, "as the test asked"));
        }
    }
    SUBCASE("an object without the interface Outlook's would have")
    {
        standIn.Serve({"!without Application"});
        CHECK(Contains(ErrorOf([] { OutlookStore store; }), "application interface"));
        standIn.Serve({"!without NameSpace"});
        CHECK(Contains(ErrorOf([] { OutlookStore().OpenDefaultContactsFolder(); }), "MAPI namespace"));
        standIn.Serve({"!without Folder"});
        const std::string e = ErrorOf([] { OutlookStore().OpenDefaultContactsFolder(); });
        CHECK(Contains(e, "Contacts folder"));
        standIn.Serve({"!without Items", "40\tA"});
        OutlookStore store;
        auto folder = store.OpenDefaultContactsFolder();
        CHECK(Contains(ErrorOf([&] { folder->Count(); }), "item collection"));
    }
}

TEST_CASE("Outlook store: the folder first, then the application; Outlook is only read and never asked to quit")
{
    StandIn standIn(Server::OutOfProcess);
    standIn.Serve(kThree);
    {
        OutlookStore store;
        auto folder = store.OpenDefaultContactsFolder();
        const int32_t count = folder->Count();
        for (int32_t position = 1; position <= count; ++position)
            folder->Item(position);
        folder->FaxNumber(1, FaxKind::Business);
        folder.reset();
    }
    const std::vector<Call> calls = Calls(standIn);
    REQUIRE(calls.size() >= 2);
    CHECK(calls[calls.size() - 2].Kind() + " " + calls[calls.size() - 2].event == "Folder released");
    CHECK(calls.back().Kind() + " " + calls.back().event == "Application released");
    CHECK(CountOf(calls, "call", "Quit") == 0);
    for (const Call &call : calls)
        CHECK(call.event != "put");
}

TEST_CASE("Outlook store, item by item: the collection is fetched afresh for the count and every item; a selection "
          "finds its contact by identity")
{
    StandIn standIn(Server::OutOfProcess);
    standIn.always = LinesFor(Way::ItemByItem);
    standIn.Serve(kThree);
    OutlookStore store;
    auto folder = store.OpenDefaultContactsFolder();
    const size_t opening = Calls(standIn).size();
    REQUIRE(folder->Count() == 3);
    for (int32_t position = 1; position <= 3; ++position)
        folder->Item(position);
    for (FaxKind kind : {FaxKind::Business, FaxKind::Home, FaxKind::Other})
        folder->FaxNumber(1, kind);
    std::vector<Call> calls = Calls(standIn);
    calls.erase(calls.begin(), calls.begin() + std::ptrdiff_t(opening)); // the events' collection is held

    // One count; the class of three items and the names of two contacts,
    // each from an item fetched for it; one item found for three numbers.
    CHECK(CountOf(calls, "call", "Items") == 1 + 3 + 2);
    CHECK(CountOf(calls, "call", "Item") == 3 + 2);
    CHECK(CountOf(calls, "call", "GetItemFromID") == 1);
    // Neither a collection nor an item is held from one access to the next.
    std::set<std::string> alive;
    for (const Call &call : calls) {
        if (call.event == "call" && call.member == "Items")
            CHECK(alive == std::set<std::string>{});
        if (call.Kind() == "Items" || call.Kind() == "Item")
            call.event == "released" ? (void)alive.erase(call.object) : (void)alive.insert(call.object);
    }
    CHECK(alive == std::set<std::string>{});
}

TEST_CASE("Outlook store: member IDs are looked up once per name and kind of object, then kept")
{
    StandIn standIn(Server::OutOfProcess);
    standIn.HoldServer();
    const std::vector<std::string> lines = {"40\tSmith\tAnn\tAcme\t1", "69\tTeam", "40\tJones\tBob\t\t\t\t9"};
    for (Way way : {Way::Table, Way::ItemByItem}) {
        CAPTURE(int(way));
        standIn.always = LinesFor(way);
        standIn.Serve(lines);
        const size_t mark = Calls(standIn).size();
        {
            OutlookStore store;
            auto folder = store.OpenDefaultContactsFolder();
            for (int listing = 0; listing < 2; ++listing) {
                std::vector<ContactItem> items;
                folder->ListItems(items);
                REQUIRE(items.size() == (way == Way::Table ? 2u : 3u));
                folder->ChangedSinceListing();
                for (int32_t position : {1, int32_t(items.size())})
                    for (FaxKind kind : {FaxKind::Business, FaxKind::Home, FaxKind::Other})
                        folder->FaxNumber(position, kind);
            }
        }
        std::map<std::string, int> lookups;
        const std::vector<Call> calls = Calls(standIn);
        for (size_t i = mark; i < calls.size(); ++i) {
            CHECK(calls[i].event != "name?");
            CHECK(calls[i].event != "call?");
            if (calls[i].event == "name")
                ++lookups[calls[i].Kind() + "." + calls[i].member];
        }
        CHECK(lookups.size() > 5);
        for (const auto &[member, count] : lookups) {
            CAPTURE(member);
            CHECK(count == 1);
        }
    }
}

template <Server kServer>
struct Served {
    static constexpr Server server = kServer;
};
using OutOfProcess = Served<Server::OutOfProcess>;
using InProcess = Served<Server::InProcess>;

TEST_CASE_TEMPLATE("Outlook store: values that are not plain text", T, OutOfProcess, InProcess)
{
    StandIn standIn(T::server);
    OutlookStore store;
    auto folder = store.OpenDefaultContactsFolder();

    SUBCASE("no value or null reads as empty text")
    {
        standIn.Serve({"40\t=empty\tAnn\t=null\t=empty\t=null\t5"});
        REQUIRE(folder->Count() == 1);
        const ContactItem item = folder->Item(1);
        CHECK(item.lastName.empty());
        CHECK(item.firstName == u"Ann");
        CHECK(item.companyName.empty());
        CHECK(folder->FaxNumber(1, FaxKind::Business).empty());
        CHECK(folder->FaxNumber(1, FaxKind::Home).empty());
        CHECK(folder->FaxNumber(1, FaxKind::Other) == u"5");
    }
    SUBCASE("a number or an object where text belongs is an error that names the property")
    {
        standIn.Serve({"40\tA\t=i4:7", "40\tB\tb\t\t=object"});
        REQUIRE(folder->Count() == 2);
        CHECK(Contains(ErrorOf([&] { folder->Item(1); }), "FirstName is not text"));
        folder->Item(2);
        CHECK(Contains(ErrorOf([&] { folder->FaxNumber(2, FaxKind::Business); }), "BusinessFaxNumber is not text"));
    }
    SUBCASE("a class that is not a whole number, text or none, is an error")
    {
        standIn.Serve({"=text:40\tA", "=empty\tB"});
        REQUIRE(folder->Count() == 2);
        CHECK(Contains(ErrorOf([&] { folder->Item(1); }), "Class is not a whole number"));
        CHECK(Contains(ErrorOf([&] { folder->Item(2); }), "Class is not a whole number"));
    }
    SUBCASE("a property that fails in Outlook is an error with Outlook's reason")
    {
        standIn.Serve({"!fail HomeFaxNumber", "40\tA\ta\t\t1\t2\t3"});
        REQUIRE(folder->Count() == 1);
        folder->Item(1);
        CHECK(folder->FaxNumber(1, FaxKind::Business) == u"1");
        CHECK(ErrorOf([&] { folder->FaxNumber(1, FaxKind::Home); })
              == "HomeFaxNumber failed in Outlook (0x80004005): HomeFaxNumber fails, as the test asked");
        standIn.Serve({"!fail Count"});
        CHECK(Contains(ErrorOf([&] { folder->Count(); }), "Count failed in Outlook"));
    }
}

TEST_CASE("Outlook store, item by item without identities: a selection reads only the contact listed at its "
          "position")
{
    StandIn standIn(Server::OutOfProcess);
    standIn.always = {"!fail GetTable", "!fail EntryID"};
    standIn.Serve({"40\tA\ta\t\t1", "40\tB\tb\t\t2"});
    OutlookStore store;
    auto folder = store.OpenDefaultContactsFolder();
    REQUIRE(folder->Count() == 2);
    folder->Item(1);
    folder->Item(2);

    SUBCASE("the two contacts have changed places")
    {
        standIn.Serve({"40\tB\tb\t\t2", "40\tA\ta\t\t1"});
        CHECK(Contains(ErrorOf([&] { folder->FaxNumber(1, FaxKind::Business); }), "has moved or changed"));
        CHECK(Contains(ErrorOf([&] { folder->FaxNumber(2, FaxKind::Business); }), "has moved or changed"));
        // A new listing ties the positions anew.
        REQUIRE(folder->Count() == 2);
        folder->Item(1);
        CHECK(folder->FaxNumber(1, FaxKind::Business) == u"2");
    }
    SUBCASE("any of the class and the three names differs")
    {
        for (const char *now : {"69\tA\ta", "40\tA2\ta", "40\tA\ta2", "40\tA\ta\tCo"}) {
            CAPTURE(now);
            standIn.Serve({std::string(now) + "\t1", "40\tB\tb\t\t2"});
            CHECK_THROWS_AS(folder->FaxNumber(1, FaxKind::Business), StoreError);
        }
    }
    SUBCASE("the same contact with a new number reads the new number")
    {
        standIn.Serve({"40\tA\ta\t\t11", "40\tB\tb\t\t2"});
        CHECK(folder->FaxNumber(1, FaxKind::Business) == u"11");
    }
    SUBCASE("only a listed contact's position can be selected")
    {
        standIn.Serve({"40\tA\ta\t\t1", "69\tB\tb\t\t2", "40\tC"});
        REQUIRE(folder->Count() == 3);
        folder->Item(2);
        CHECK(Contains(ErrorOf([&] { folder->FaxNumber(2, FaxKind::Business); }), "no contact was listed"));
        CHECK(Contains(ErrorOf([&] { folder->FaxNumber(3, FaxKind::Business); }), "no contact was listed"));
    }
}

TEST_CASE("Outlook store: folders of more than 32,767 items are counted and read in full")
{
    StandIn standIn(Server::InProcess);
    std::vector<std::string> lines(32770, "40\tx");
    lines[32768] = "40\tLast\tOne\t\t42";
    standIn.Serve(lines);
    OutlookStore store;
    auto folder = store.OpenDefaultContactsFolder();
    REQUIRE(folder->Count() == 32770);
    CHECK(folder->Item(32769).lastName == u"Last");
    CHECK(folder->FaxNumber(32769, FaxKind::Business) == u"42");
}

TEST_CASE("Outlook stand-in: the out-of-process server ends once its last object is released")
{
    StandIn standIn(Server::OutOfProcess);
    {
        OutlookStore store;
        auto folder = store.OpenDefaultContactsFolder();
        folder->Count();
        CHECK(ProcessRunning(standin::kServerFile));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ProcessRunning(standin::kServerFile) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CHECK_FALSE(ProcessRunning(standin::kServerFile));
}
