#include "fake_contact_store.h"

namespace {
class FakeFolder final : public ContactsFolder {
public:
    explicit FakeFolder(std::shared_ptr<FakeAddressBook> book) : m_book(std::move(book)) {}
    ~FakeFolder() override { m_book->releaseOrder.push_back(QStringLiteral("folder")); }

    qint32 Count() override
    {
        if (m_book->unreachable)
            throw StoreError("address book unreachable");
        return qint32(m_book->items.size());
    }

    ContactItem Item(qint32 position) override
    {
        if (m_book->failListingAfter >= 0 && position >= m_book->failListingAfter)
            throw StoreError("listing failed");
        const FakeContact &c = At(position);
        return {c.itemClass, c.lastName, c.firstName, c.companyName};
    }

    QString FaxNumber(qint32 position, FaxKind kind) override
    {
        const FakeContact &c = At(position);
        switch (kind) {
        case FaxKind::Business:
            return c.businessFax;
        case FaxKind::Home:
            return c.homeFax;
        case FaxKind::Other:
            return c.otherFax;
        }
        return {};
    }

private:
    void Check(qint32 position) const
    {
        if (m_book->unreachable)
            throw StoreError("address book unreachable");
        if (position < 1 || position > qint32(m_book->items.size()))
            throw StoreError("no item at position");
    }
    const FakeContact &At(qint32 position) const
    {
        Check(position);
        return m_book->items[size_t(position - 1)];
    }

    std::shared_ptr<FakeAddressBook> m_book;
};
} // namespace

FakeContactStore::~FakeContactStore()
{
    m_book->releaseOrder.push_back(QStringLiteral("store"));
}

std::unique_ptr<ContactsFolder> FakeContactStore::OpenDefaultContactsFolder()
{
    if (m_book->cannotOpen)
        throw StoreError("no contacts folder");
    return std::make_unique<FakeFolder>(m_book);
}
