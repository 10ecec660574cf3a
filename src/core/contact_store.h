#pragma once

#include "text.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

// Any failure to reach the address book or to answer a query.
struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Class codes of the items of a contacts folder.
enum ItemClass : int { ContactClass = 40, DistributionListClass = 69 };

// What the listing reads of one item.
struct ContactItem {
    int itemClass = ContactClass;
    Text lastName;
    Text firstName;
    Text companyName;
};

enum class FaxKind { Business, Home, Other };

// The default contacts folder of an address book. Items are addressed by
// their 1-based position as the last Count() saw the address book; each
// position stays tied to its item until the next Count().
class ContactsFolder {
public:
    virtual ~ContactsFolder() = default;
    // Takes a fresh look at the address book: changes made since show now.
    virtual int32_t Count() = 0;
    // The item at the position.
    virtual ContactItem Item(int32_t position) = 0;
    // Read afresh from the item listed at the position: empty when it has no
    // such number; StoreError when it has gone since.
    virtual Text FaxNumber(int32_t position, FaxKind kind) = 0;

    // Takes a fresh look, as Count() does, and appends every item in folder
    // order: the item at position N is the Nth appended. On StoreError what
    // was read so far stays appended. Stores that can read many items a call
    // override it; this one reads item by item.
    virtual void ListItems(std::vector<ContactItem> &items)
    {
        const int32_t count = Count();
        items.reserve(items.size() + size_t(count > 0 ? count : 0));
        for (int32_t position = 1; position <= count; ++position)
            items.push_back(Item(position));
    }

    // Cheap, without reading items: false only when nothing the last complete
    // listing read can have changed since (no item added, removed, renamed or
    // moved), so that listing and its positions still stand. True before the
    // first listing, and whenever the store cannot tell.
    virtual bool ChangedSinceListing() { return true; }
};

// An address book as a whole: the connection to it, which opens its folder.
class ContactStore {
public:
    virtual ~ContactStore() = default;
    virtual std::unique_ptr<ContactsFolder> OpenDefaultContactsFolder() = 0;
};
