#pragma once

#include "contacts/contact_store.h"

#include <memory>
#include <vector>

struct FakeContact {
    QString lastName, firstName, companyName;
    QString businessFax, homeFax, otherFax;
    int itemClass = ContactClass;
};

// A person without a company.
inline FakeContact Contact(const QString &last, const QString &first, const QString &business = {},
                           const QString &home = {}, const QString &other = {})
{
    return {last, first, {}, business, home, other};
}

// An address book held in memory, shared with the test so that it can change
// or fail between the program's reads.
struct FakeAddressBook {
    std::vector<FakeContact> items;
    bool unreachable = false;    // every read fails
    bool cannotOpen = false;     // opening the folder fails
    int failListingAfter = -1;   // Item() fails from this position on
    std::vector<QString> releaseOrder; // "folder" and "store", as released
};

class FakeContactStore final : public ContactStore {
public:
    explicit FakeContactStore(std::shared_ptr<FakeAddressBook> book) : m_book(std::move(book)) {}
    ~FakeContactStore() override;
    std::unique_ptr<ContactsFolder> OpenDefaultContactsFolder() override;

private:
    std::shared_ptr<FakeAddressBook> m_book;
};
