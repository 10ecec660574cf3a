#pragma once

// What every contact store must do, run against each of them, fakes included.
// A fixture type F offers:
//   std::unique_ptr<ContactStore> Open(const std::vector<FakeContact> &items);
//       makes an address book holding these items and opens it;
//   void Replace(const std::vector<FakeContact> &items);
//       changes the address book behind the open store to hold these items;
//   static constexpr bool kKeepsOrder;   positions follow the order given
//   static constexpr bool kHoldsGroups;  items of other classes can be stored
//   static constexpr bool kTellsUnchanged (optional, false when absent): the
//       store can tell that nothing changed since its last listing
// Instantiate with CONTACT_STORE_CONTRACT(F, "name").
#include "core_harness.h"
#include "fake_contact_store.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <set>

namespace contract {
struct Listed {
    int itemClass;
    Text last, first, company;
    auto operator<=>(const Listed &) const = default;
};

// A listing, as the program takes it: all items in one call.
inline std::vector<Listed> ListAll(ContactsFolder &folder)
{
    std::vector<ContactItem> items;
    folder.ListItems(items);
    std::vector<Listed> listed;
    for (const ContactItem &item : items)
        listed.push_back({item.itemClass, item.lastName, item.firstName, item.companyName});
    return listed;
}

// The position at which a new listing shows the contact with this last name, or 0.
inline int32_t PositionOf(ContactsFolder &folder, const Text &last)
{
    const std::vector<Listed> listed = ListAll(folder);
    for (size_t i = 0; i < listed.size(); ++i) {
        if (listed[i].itemClass == ContactClass && listed[i].last == last)
            return int32_t(i + 1);
    }
    return 0;
}

// A listing item by item: the count, then the item at every position.
inline std::vector<Listed> ListItemByItem(ContactsFolder &folder)
{
    std::vector<Listed> listed;
    const int32_t count = folder.Count();
    for (int32_t position = 1; position <= count; ++position) {
        const ContactItem item = folder.Item(position);
        listed.push_back({item.itemClass, item.lastName, item.firstName, item.companyName});
    }
    return listed;
}

// The contacts of a listing; a store may leave out the items of other classes.
inline std::vector<Listed> ContactsOf(const std::vector<Listed> &items)
{
    std::vector<Listed> contacts;
    for (const Listed &item : items)
        if (item.itemClass == ContactClass)
            contacts.push_back(item);
    return contacts;
}

inline Listed AsListed(const FakeContact &contact)
{
    return {contact.itemClass, contact.lastName, contact.firstName, contact.companyName};
}

// A store need not tell the names of an item that is not a contact: the
// contracts' one such item is the group "Team".
inline std::vector<Listed> AsListed(const std::vector<ContactItem> &items)
{
    std::vector<Listed> listed;
    for (const ContactItem &item : items) {
        if (item.itemClass == ContactClass)
            listed.push_back({item.itemClass, item.lastName, item.firstName, item.companyName});
        else
            listed.push_back({DistributionListClass, u"Team", {}, {}});
    }
    return listed;
}

inline std::vector<Listed> Sorted(std::vector<Listed> listed)
{
    std::sort(listed.begin(), listed.end());
    return listed;
}

inline std::vector<Listed> SortedListing(const std::vector<FakeContact> &items)
{
    std::vector<Listed> listed;
    for (const FakeContact &item : items)
        listed.push_back(AsListed(item));
    return Sorted(listed);
}

template <typename Fixture>
constexpr bool TellsUnchanged()
{
    if constexpr (requires { Fixture::kTellsUnchanged; })
        return Fixture::kTellsUnchanged;
    else
        return false;
}

inline FakeContact Full(const std::string &last, const std::string &first, const std::string &company,
                        const std::string &business, const std::string &home, const std::string &other)
{
    FakeContact contact = Contact(last, first, business, home, other);
    contact.companyName = FromUtf8(company);
    return contact;
}

// The items with a distribution list second among them, where the store
// can hold one: it must stay out of the contacts listed.
inline std::vector<FakeContact> WithGroup(bool holdsGroups, std::vector<FakeContact> items)
{
    if (holdsGroups) {
        FakeContact group = Contact("Team", "");
        group.itemClass = DistributionListClass;
        items.insert(items.begin() + 1, group);
    }
    return items;
}
} // namespace contract

#define CONTACT_STORE_CONTRACT(Fixture, name)                                                                         \
    TEST_CASE_FIXTURE(Fixture, name ": lists every contact once, with its names as written")                         \
    {                                                                                                                 \
        using namespace contract;                                                                                     \
        const std::vector<FakeContact> items =                                                                        \
            WithGroup(Fixture::kHoldsGroups, {Full("Smith", "Ann", "Acme", "1", "", ""), Contact("M\xc3\xbcller", "J\xc3\xbcrgen"), \
                                              Full("", "", "Solo GmbH", "", "", ""), Contact("\xe7\x8e\x8b", "")});   \
        auto store = this->Open(items);                                                                               \
        auto folder = store->OpenDefaultContactsFolder();                                                             \
        const std::vector<Listed> all = ListAll(*folder);                                                             \
        for (const Listed &item : all)                                                                                \
            if (item.itemClass != ContactClass)                                                                       \
                CHECK(item.itemClass == DistributionListClass);                                                       \
        std::vector<Listed> listed = ContactsOf(all);                                                                 \
        std::vector<Listed> expected;                                                                                 \
        for (const FakeContact &item : items)                                                                         \
            if (item.itemClass == ContactClass)                                                                       \
                expected.push_back(AsListed(item));                                                                   \
        if (!Fixture::kKeepsOrder) {                                                                                  \
            std::sort(listed.begin(), listed.end());                                                                  \
            std::sort(expected.begin(), expected.end());                                                              \
        }                                                                                                             \
        CHECK(listed == expected);                                                                                    \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": an empty address book has no items")                                           \
    {                                                                                                                 \
        auto store = this->Open({});                                                                                  \
        CHECK(contract::ListAll(*store->OpenDefaultContactsFolder()).empty());                                        \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": fax numbers read exactly as stored, empty where none")                         \
    {                                                                                                                 \
        using namespace contract;                                                                                     \
        auto store = this->Open({Contact("A", "a", "+49 (30) 1234-5", "", "0 12/34"), Contact("B", "b", "", "9", "")}); \
        auto folder = store->OpenDefaultContactsFolder();                                                             \
        const int32_t a = PositionOf(*folder, u"A");                                                                  \
        const int32_t b = PositionOf(*folder, u"B");                                                                  \
        REQUIRE(a > 0);                                                                                               \
        REQUIRE(b > 0);                                                                                               \
        CHECK(folder->FaxNumber(a, FaxKind::Business) == u"+49 (30) 1234-5");                                         \
        CHECK(folder->FaxNumber(a, FaxKind::Home).empty());                                                           \
        CHECK(folder->FaxNumber(a, FaxKind::Other) == u"0 12/34");                                                    \
        CHECK(folder->FaxNumber(b, FaxKind::Business).empty());                                                       \
        CHECK(folder->FaxNumber(b, FaxKind::Home) == u"9");                                                           \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": changes show at the next count; a selection reads its own contact afresh")     \
    {                                                                                                                 \
        using namespace contract;                                                                                     \
        auto store = this->Open({Contact("A", "a", "1"), Contact("B", "b", "2")});                                    \
        auto folder = store->OpenDefaultContactsFolder();                                                             \
        const int32_t a = PositionOf(*folder, u"A");                                                                  \
        REQUIRE(a > 0);                                                                                               \
        /* Another contact comes first now, and A's number has changed. */                                            \
        this->Replace({Contact("0", "first", "999"), Contact("B", "b", "2"), Contact("A", "a", "11")});               \
        /* A store may find A where it is now, or report it gone; never B's or the new one's number. */              \
        /* (Read outside CHECK, which would take the error for a failure.) */                                        \
        try {                                                                                                         \
            const Text number = folder->FaxNumber(a, FaxKind::Business);                                              \
            CHECK(number == u"11");                                                                                   \
        } catch (const StoreError &) {                                                                                \
        }                                                                                                             \
        CHECK(ContactsOf(ListAll(*folder)).size() == 3);                                                              \
        /* A has gone: never another contact's number. */                                                             \
        const int32_t again = PositionOf(*folder, u"A");                                                              \
        this->Replace({Contact("0", "first", "999"), Contact("B", "b", "2")});                                        \
        CHECK_THROWS_AS(folder->FaxNumber(again, FaxKind::Business), StoreError);                                     \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": a listing in one call lists the contacts item by item does, in order")       \
    {                                                                                                                 \
        using namespace contract;                                                                                     \
        const std::vector<FakeContact> items = WithGroup(                                                             \
            Fixture::kHoldsGroups, {Contact("C", "c", "3"), Contact("A", "a", "1"), Full("", "", "B Ltd", "", "", "")}); \
        auto store = this->Open(items);                                                                               \
        auto folder = store->OpenDefaultContactsFolder();                                                             \
        std::vector<ContactItem> listed;                                                                              \
        folder->ListItems(listed);                                                                                    \
        CHECK(ContactsOf(AsListed(listed)) == ContactsOf(ListItemByItem(*folder)));                                   \
        CHECK(Sorted(ContactsOf(AsListed(listed))) == ContactsOf(SortedListing(items)));                              \
        /* The positions are those of the listing. */                                                                 \
        listed.clear();                                                                                               \
        folder->ListItems(listed);                                                                                    \
        for (size_t at = 0; at < listed.size(); ++at) {                                                               \
            if (listed[at].lastName == u"A") {                                                                        \
                CHECK(folder->FaxNumber(int32_t(at + 1), FaxKind::Business) == u"1");                                 \
            }                                                                                                         \
        }                                                                                                             \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": a change made just before a listing is told of at once and shows in it")       \
    {                                                                                                                 \
        using namespace contract;                                                                                     \
        const std::vector<FakeContact> before = {Contact("A", "a", "1"), Contact("B", "b", "2"), Contact("C", "c", "3")}; \
        struct Change {                                                                                               \
            const char *what;                                                                                         \
            std::vector<FakeContact> after;                                                                           \
        };                                                                                                            \
        const Change changes[] = {                                                                                    \
            {"added", {before[0], before[1], before[2], Contact("D", "d")}},                                           \
            {"removed", {before[0], before[2]}},                                                                      \
            {"renamed", {before[0], Contact("B", "bee", "2"), before[2]}},                                            \
        };                                                                                                            \
        for (const Change &change : changes) {                                                                        \
            const std::string what = change.what;                                                                     \
            CAPTURE(what);                                                                                            \
            auto store = this->Open(before);                                                                          \
            auto folder = store->OpenDefaultContactsFolder();                                                         \
            CHECK(folder->ChangedSinceListing()); /* nothing listed yet */                                            \
            std::vector<ContactItem> listed;                                                                          \
            folder->ListItems(listed);                                                                                \
            REQUIRE(Sorted(AsListed(listed)) == SortedListing(before));                                               \
            (void)folder->FaxNumber(1, FaxKind::Business);                                                            \
            if (TellsUnchanged<Fixture>()) {                                                                          \
                CHECK_FALSE(folder->ChangedSinceListing());                                                           \
            }                                                                                                         \
            this->Replace(change.after);                                                                              \
            CHECK(folder->ChangedSinceListing());                                                                     \
            CHECK(folder->ChangedSinceListing()); /* asking does not use the change up */                             \
            listed.clear();                                                                                           \
            folder->ListItems(listed);                                                                                \
            CHECK(Sorted(AsListed(listed)) == SortedListing(change.after));                                           \
            if (TellsUnchanged<Fixture>()) {                                                                          \
                CHECK_FALSE(folder->ChangedSinceListing());                                                           \
            }                                                                                                         \
        }                                                                                                             \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": through the program, a change made just before a request shows in it")       \
    {                                                                                                                 \
        using Lines = std::vector<std::string>;                                                                       \
        CoreHarness h;                                                                                                \
        h.open = [this] { return this->Open({Contact("A", "a", "1"), Contact("B", "b", "2")}); };                     \
        h.Start();                                                                                                    \
        for (int32_t request = 1; request <= 2; ++request) {                                                          \
            h.Request(request);                                                                                       \
            CHECK(h.list.Texts() == Lines{"A, a", "B, b"});                                                           \
            h.program->btn_cancel_Click();                                                                            \
        }                                                                                                             \
        this->Replace({Contact("A", "a", "1"), Contact("C", "c", "3")});                                              \
        h.Request(3);                                                                                                 \
        CHECK(h.list.Texts() == Lines{"A, a", "C, c"});                                                               \
        h.Choose("C, c");                                                                                             \
        CHECK(h.program->lbl_businessfaxno() == u"3");                                                                \
        CHECK(h.boxes.shown.empty());                                                                                 \
    }                                                                                                                 \
    TEST_CASE_FIXTURE(Fixture, name ": positions outside the listing are errors")                                     \
    {                                                                                                                 \
        auto store = this->Open({Contact("A", "a", "1")});                                                            \
        auto folder = store->OpenDefaultContactsFolder();                                                             \
        REQUIRE(contract::ListAll(*folder).size() == 1);                                                              \
        CHECK_THROWS_AS(folder->FaxNumber(2, FaxKind::Business), StoreError);                                         \
        CHECK_THROWS_AS(folder->FaxNumber(0, FaxKind::Business), StoreError);                                         \
    }

// The fake, held to the same contract.
struct FakeStoreFixture {
    static constexpr bool kKeepsOrder = true;
    static constexpr bool kHoldsGroups = true;
    static constexpr bool kTellsUnchanged = true;
    std::shared_ptr<FakeAddressBook> book = std::make_shared<FakeAddressBook>();
    std::unique_ptr<ContactStore> Open(const std::vector<FakeContact> &items)
    {
        book->items = items;
        return std::make_unique<FakeContactStore>(book);
    }
    void Replace(const std::vector<FakeContact> &items) { book->items = items; }
};
