#pragma once

#include "contact_store.h"
#include "fake_platform.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct FakeContact {
    Text lastName, firstName, companyName;
    Text businessFax, homeFax, otherFax;
    int itemClass = ContactClass;
    bool operator==(const FakeContact &) const = default;
};

// A person without a company.
FakeContact Contact(const std::string &last, const std::string &first, const std::string &business = {},
                    const std::string &home = {}, const std::string &other = {});

// A company without a person.
FakeContact Company(const std::string &name, const std::string &business = {}, const std::string &home = {},
                    const std::string &other = {});

// An address book held in memory, shared with the test so that it can change
// or fail between the program's reads. Like a real folder's, its positions
// follow the items as the last Count() saw them.
struct FakeAddressBook {
    std::vector<FakeContact> items;
    bool unreachable = false;  // every read fails
    bool cannotOpen = false;   // opening the folder fails
    int failListingAfter = -1; // Item() fails from this position on
    std::function<void()> onCount; // runs as the program counts the items
    // What the program asked of the folder.
    int itemReads = 0;
    int changeChecks = 0;
    // The folder cannot tell whether anything changed: it always says so.
    bool cannotTell = false;
    // Tells only whether the items changed, as if a listing cut short had
    // been complete.
    bool changesOnly = false;
    // Where "released folder" and "released store" are written.
    Journal *journal = nullptr;
};

class FakeContactStore final : public ContactStore {
public:
    explicit FakeContactStore(std::shared_ptr<FakeAddressBook> book) : m_book(std::move(book)) {}
    ~FakeContactStore() override;
    std::unique_ptr<ContactsFolder> OpenDefaultContactsFolder() override;

private:
    std::shared_ptr<FakeAddressBook> m_book;
};
