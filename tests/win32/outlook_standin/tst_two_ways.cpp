// One folder, two ways of reading it: through Outlook's table and item by
// item. Both must offer the user the same list and, on every selection, the
// same fax numbers, also when the folder changed between the listing and
// the selection.
#include "standin_fixture.h"

#include <doctest/doctest.h>

#include <functional>

namespace {
using standin::Server;

// What a listing offers: per contact "last/first/company=business|home|other",
// the numbers as a selection reads them, or "=error" when it is refused.
std::vector<std::string> Offered(ContactsFolder &folder, const std::function<void()> &between = {},
                                 size_t every = 1)
{
    std::vector<ContactItem> items;
    folder.ListItems(items);
    if (between)
        between();
    std::vector<std::string> offered;
    size_t contact = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const ContactItem &item = items[i];
        if (item.itemClass != ContactClass)
            continue;
        std::string entry = ToUtf8(item.lastName) + "/" + ToUtf8(item.firstName) + "/" + ToUtf8(item.companyName);
        if (contact++ % every != 0 && i + 1 != items.size()) {
            offered.push_back(entry);
            continue;
        }
        try {
            const int32_t position = int32_t(i + 1);
            std::string numbers = ToUtf8(folder.FaxNumber(position, FaxKind::Business));
            numbers += "|" + ToUtf8(folder.FaxNumber(position, FaxKind::Home));
            numbers += "|" + ToUtf8(folder.FaxNumber(position, FaxKind::Other));
            offered.push_back(entry + "=" + numbers);
        } catch (const StoreError &) {
            offered.push_back(entry + "=error");
        }
    }
    return offered;
}

// The same folder read both ways; with a change between listing and selection.
struct Both {
    std::vector<std::string> table, itemByItem;
};
Both ReadBothWays(StandIn &standIn, const std::vector<std::string> &before, const std::vector<std::string> &after = {},
                  size_t every = 1)
{
    Both both;
    standIn.HoldServer();
    for (Way way : {Way::Table, Way::ItemByItem}) {
        standIn.always = LinesFor(way);
        standIn.Serve(before);
        OutlookStore store;
        auto folder = store.OpenDefaultContactsFolder();
        const auto change = [&] { standIn.Serve(after); };
        (way == Way::Table ? both.table : both.itemByItem) =
            Offered(*folder, after.empty() ? std::function<void()>() : change, every);
    }
    return both;
}

template <Server kServer>
struct Served {
    static constexpr Server server = kServer;
};
using OutOfProcess = Served<Server::OutOfProcess>;
using InProcess = Served<Server::InProcess>;

struct Case {
    const char *what;
    std::vector<std::string> before, after;
    std::vector<std::string> offered;
};
} // namespace

TEST_CASE_TEMPLATE("Outlook store: the table and the item-by-item way offer the same", T, OutOfProcess, InProcess)
{
    StandIn standIn(T::server);
    const std::vector<std::string> abc = {"40\tA\ta\t\t1", "40\tB\tb\tBee Co\t2\t22", "40\tC\tc\t\t3\t\t33"};
    const std::vector<Case> cases = {
        {"items that are not contacts are left out",
         {"69\tTeam", "40\tA\ta\t\t1", "43\tMail", "40\tB\tb\t\t\t2", "69\tList\t\t\t9"},
         {},
         {"A/a/=1||", "B/b/=|2|"}},
        {"empty names, no value or null read as empty",
         {"40\t\t\t\t1", "40\t=empty\tAnn\t=null\t=null\t=empty\t5", "40\t\t\tSolo"},
         {},
         {"//=1||", "/Ann/=||5", "//Solo=||"}},
        {"a contact deleted before the selection is refused; the others are not",
         abc,
         {abc[0], abc[2]},
         {"A/a/=1||", "B/b/Bee Co=error", "C/c/=3||33"}},
        {"a contact added in front moves no selection",
         abc,
         {"40\tN\tn\t\t9", abc[0], abc[1], abc[2]},
         {"A/a/=1||", "B/b/Bee Co=2|22|", "C/c/=3||33"}},
        {"a contact renamed keeps its selection and its numbers",
         abc,
         {abc[0], "40\tBx\tb\tBee Co\t2\t22", abc[2]},
         {"A/a/=1||", "B/b/Bee Co=2|22|", "C/c/=3||33"}},
        {"contacts that changed places, one with a new number",
         abc,
         {abc[2], "40\tA\ta\t\t11", abc[1]},
         {"A/a/=11||", "B/b/Bee Co=2|22|", "C/c/=3||33"}},
    };
    for (const Case &c : cases) {
        CAPTURE(c.what);
        const Both both = ReadBothWays(standIn, c.before, c.after);
        CHECK(both.table == c.offered);
        CHECK(both.itemByItem == c.offered);
    }
    // Contacts of a custom form are contacts too.
    standin::SetContactForm(L"IPM.Contact.Fax Client");
    const Both both = ReadBothWays(standIn, {"40\tA\ta\t\t1", "69\tTeam"});
    CHECK(both.table == std::vector<std::string>{"A/a/=1||"});
    CHECK(both.itemByItem == both.table);
}

TEST_CASE("Outlook store: 40,000 items read both ways give the same list and numbers")
{
    StandIn standIn(Server::InProcess);
    standin::SetJournalFile({}); // a line for each of half a million calls would take most of the time
    std::vector<std::string> lines;
    for (int i = 1; i <= 40000; ++i)
        lines.push_back(i % 50 == 25 ? "69\tGroup " + std::to_string(i)
                                    : "40\tLast" + std::to_string(i) + "\tFirst\t\t" + std::to_string(i));
    const Both both = ReadBothWays(standIn, lines, {}, 997);
    REQUIRE(both.table.size() == 40000 - 40000 / 50);
    CHECK(both.table == both.itemByItem);
    CHECK(both.table.back() == "Last40000/First/=40000||");
}
