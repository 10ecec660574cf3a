#pragma once

#include <QString>
#include <memory>
#include <stdexcept>

// Any failure to reach the address book or to answer a query.
struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Class codes of the items of a contacts folder.
enum ItemClass : int { ContactClass = 40, DistributionListClass = 69 };

// What the listing reads of one item.
struct ContactItem {
    int itemClass = ContactClass;
    QString lastName;
    QString firstName;
    QString companyName;
};

enum class FaxKind { Business, Home, Other };

// The default contacts folder of an address book. Items are addressed by
// their 1-based position, which stays the same from a listing to the
// selections that follow it as long as the address book is unchanged.
class ContactsFolder {
public:
    virtual ~ContactsFolder() = default;
    // Takes a fresh look at the address book: changes made since show now.
    virtual qint32 Count() = 0;
    // The item at the position, as the last Count() saw the address book.
    virtual ContactItem Item(qint32 position) = 0;
    // Read afresh: the item now standing at the position. Empty when the
    // contact has no such number; StoreError when no item stands there.
    virtual QString FaxNumber(qint32 position, FaxKind kind) = 0;
};

// An address book as a whole: the connection to it, which opens its folder.
class ContactStore {
public:
    virtual ~ContactStore() = default;
    virtual std::unique_ptr<ContactsFolder> OpenDefaultContactsFolder() = 0;
};
