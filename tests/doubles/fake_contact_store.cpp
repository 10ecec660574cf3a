#include "fake_contact_store.h"

#include <algorithm>

namespace {
class FakeFolder final : public ContactsFolder {
public:
    explicit FakeFolder(std::shared_ptr<FakeAddressBook> book) : m_book(std::move(book)) {}
    ~FakeFolder() override
    {
        if (m_book->journal)
            m_book->journal->Add("released folder");
    }

    int32_t Count() override
    {
        Reach();
        if (m_book->onCount)
            m_book->onCount();
        m_listed = m_book->items;
        m_listingStands = false;
        return int32_t(m_book->items.size());
    }

    void ListItems(std::vector<ContactItem> &items) override
    {
        ContactsFolder::ListItems(items);
        m_listingStands = true;
    }

    // Anything of the items changed counts, fax numbers included; an
    // address book out of reach may have changed.
    bool ChangedSinceListing() override
    {
        ++m_book->changeChecks;
        if (m_book->cannotTell || m_book->unreachable)
            return true;
        return (!m_listingStands && !m_book->changesOnly) || m_listed != m_book->items;
    }

    ContactItem Item(int32_t position) override
    {
        Reach();
        ++m_book->itemReads;
        if (m_book->failListingAfter >= 0 && position >= m_book->failListingAfter)
            throw StoreError("listing failed");
        const FakeContact &item = Listed(position);
        return {item.itemClass, item.lastName, item.firstName, item.companyName};
    }

    // The listed item as the address book holds it now, found by its names:
    // gone when no item of that name is left.
    Text FaxNumber(int32_t position, FaxKind kind) override
    {
        Reach();
        const FakeContact &listed = Listed(position);
        const auto same = [&](const FakeContact &c) {
            return c.lastName == listed.lastName && c.firstName == listed.firstName
                && c.companyName == listed.companyName && c.itemClass == listed.itemClass;
        };
        const auto now = std::find_if(m_book->items.begin(), m_book->items.end(), same);
        if (now == m_book->items.end())
            throw StoreError("the item has gone");
        return kind == FaxKind::Business ? now->businessFax : kind == FaxKind::Home ? now->homeFax : now->otherFax;
    }

private:
    void Reach() const
    {
        if (m_book->unreachable)
            throw StoreError("address book unreachable");
    }

    const FakeContact &Listed(int32_t position) const
    {
        if (position < 1 || size_t(position) > m_listed.size())
            throw StoreError("no item at that position");
        return m_listed[size_t(position - 1)];
    }

    std::shared_ptr<FakeAddressBook> m_book;
    std::vector<FakeContact> m_listed;
    bool m_listingStands = false; // m_listed came from a complete ListItems()
};

Text Wide(const std::string &utf8)
{
    return FromUtf8(utf8);
}
} // namespace

FakeContact Contact(const std::string &last, const std::string &first, const std::string &business,
                    const std::string &home, const std::string &other)
{
    return {Wide(last), Wide(first), {}, Wide(business), Wide(home), Wide(other)};
}

FakeContact Company(const std::string &name, const std::string &business, const std::string &home,
                    const std::string &other)
{
    return {{}, {}, Wide(name), Wide(business), Wide(home), Wide(other)};
}

FakeContactStore::~FakeContactStore()
{
    if (m_book->journal)
        m_book->journal->Add("released store");
}

std::unique_ptr<ContactsFolder> FakeContactStore::OpenDefaultContactsFolder()
{
    if (m_book->unreachable || m_book->cannotOpen)
        throw StoreError("cannot open the folder");
    return std::make_unique<FakeFolder>(m_book);
}
