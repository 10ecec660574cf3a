#include "outlook_store.h"

#include "outlook_dispatch.h"
#include "outlook_events.h"
#include "outlook_table.h"

#include <optional>
#include <vector>

using namespace outlook;

// Outlook's interfaces on the way to the contacts, by their interface IDs.
// There are no headers for them here: every call goes through IDispatch.
namespace {
constexpr IID IID_OutlookApplication = {0x00063001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_OutlookNameSpace = {0x00063002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_OutlookFolder = {0x00063006, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_OutlookItems = {0x00063041, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr long kContactsFolder = 10; // olFolderContacts

// COM on the calling thread, for as long as the store or a folder holds it.
std::shared_ptr<void> EnterApartment()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Already initialised otherwise by the thread's owner: use it as it is.
    if (hr == RPC_E_CHANGED_MODE)
        return std::make_shared<int>(0);
    if (FAILED(hr))
        throw StoreError("COM could not be started (" + Hex(hr) + ")");
    return std::shared_ptr<void>(nullptr, [](void *) { CoUninitialize(); });
}

const wchar_t *FaxProperty(FaxKind kind)
{
    return kind == FaxKind::Business ? L"BusinessFaxNumber" : kind == FaxKind::Home ? L"HomeFaxNumber" : L"OtherFaxNumber";
}

// What the listing keeps of the item at one position: whether it is a
// contact, and its identity. Only where the identity could not be read (the
// item-by-item listing, an item without one) its names, to tell at a
// selection whether the position still holds that contact.
struct Listed {
    bool isContact = false;
    std::wstring entryId;
    Text lastName, firstName, companyName;
};

class OutlookFolder final : public ContactsFolder {
public:
    OutlookFolder(std::shared_ptr<void> apartment, std::shared_ptr<Dispatcher> dispatcher, Ref<> nameSpace, Ref<> folder)
        : m_apartment(std::move(apartment)), m_dispatcher(std::move(dispatcher)), m_folder(std::move(folder)),
          m_nameSpace(std::move(nameSpace))
    {
        try {
            const Text id = m_dispatcher->Read(m_folder.Get(), "folder", L"EntryID");
            m_folderId.assign(id.begin(), id.end());
        } catch (const StoreError &) {
            // Without it a found item's folder goes unchecked.
        }
        try {
            m_events = std::make_unique<ItemsEvents>(*m_dispatcher, m_folder.Get());
        } catch (const StoreError &) {
            // Without events every request takes the folder's stamp.
        }
    }

    // Item by item: the count, then at every position the class and, for a
    // contact, its names and identity, each from the item fetched afresh.
    int32_t Count() override
    {
        Forget();
        Ref<> items = FetchItems();
        const long long count = AsInteger(D().Get(items.Get(), "items", L"Count"), L"Count");
        // Positions are 32-bit: folders past 32,767 items are listed in full.
        if (count < 0 || count > INT32_MAX)
            throw StoreError("Outlook counts " + std::to_string(count) + " items");
        m_listed.assign(size_t(count), Listed{});
        return int32_t(count);
    }

    ContactItem Item(int32_t position) override
    {
        Listed &listed = ListedAt(position);
        listed = Listed{};
        ContactItem result;
        result.itemClass = ReadClass(FetchItem(position).item.Get());
        if (result.itemClass != ContactClass)
            return result;
        const Fetched contact = FetchItem(position);
        IDispatch *item = contact.item.Get();
        result.lastName = D().Read(item, "item", L"LastName");
        result.firstName = D().Read(item, "item", L"FirstName");
        result.companyName = D().Read(item, "item", L"CompanyName");
        listed.isContact = true;
        try {
            const Text id = D().Read(item, "item", L"EntryID");
            listed.entryId.assign(id.begin(), id.end());
        } catch (const StoreError &) {
        }
        if (listed.entryId.empty()) {
            listed.lastName = result.lastName;
            listed.firstName = result.firstName;
            listed.companyName = result.companyName;
        }
        return result;
    }

    // Through the folder's table when Outlook offers one; item by item when
    // any table call fails, giving the same list.
    void ListItems(std::vector<ContactItem> &items) override
    {
        const size_t start = items.size();
        Forget();
        std::optional<FolderStamp> stamp;
        try {
            stamp = ReadFolderStamp(D(), m_folder.Get());
        } catch (const StoreError &) {
        }
        try {
            std::vector<TableRow> rows = ReadContactsTable(D(), m_folder.Get());
            items.reserve(start + rows.size());
            m_listed.reserve(rows.size());
            for (TableRow &row : rows) {
                items.push_back({ContactClass, std::move(row.lastName), std::move(row.firstName),
                                 std::move(row.companyName)});
                m_listed.push_back({true, std::move(row.entryId), {}, {}, {}});
            }
            m_stamp = stamp;
            m_complete = true;
            return;
        } catch (const StoreError &) {
            items.resize(start);
            m_listed.clear();
        }
        ContactsFolder::ListItems(items);
        m_complete = true;
    }

    // An event since the listing says so at once; otherwise the folder's
    // stamp, read now, against the one read before the listing, so that a
    // change whose event is still on its way is seen as well.
    bool ChangedSinceListing() override
    {
        if (!m_complete || !m_stamp)
            return true;
        if (m_events && m_events->Heard())
            return true;
        try {
            return !(ReadFolderStamp(D(), m_folder.Get()) == *m_stamp);
        } catch (const StoreError &) {
            return true;
        }
    }

    // The contact listed at the position, found by its identity, and its
    // number read afresh. A contact gone from the folder since is an error,
    // never another contact's number. The three numbers of one selection are
    // read from the item found for the first.
    Text FaxNumber(int32_t position, FaxKind kind) override
    {
        const Listed &listed = ListedAt(position);
        if (!listed.isContact)
            throw StoreError("no contact was listed at position " + std::to_string(position));
        if (listed.entryId.empty())
            return FaxNumberAtPosition(position, listed, kind);
        if (kind == FaxKind::Business || m_heldPosition != position || !m_held.Get()) {
            m_held.Reset();
            m_held = Find(listed.entryId, position);
            m_heldPosition = position;
        }
        const Text number = D().Read(m_held.Get(), "item", FaxProperty(kind));
        if (kind == FaxKind::Other)
            m_held.Reset();
        return number;
    }

private:
    Dispatcher &D() { return *m_dispatcher; }

    void Forget()
    {
        m_complete = false;
        m_stamp.reset();
        m_listed.clear();
        m_held.Reset();
        if (m_events)
            m_events->Forget();
    }

    Listed &ListedAt(int32_t position)
    {
        if (position < 1 || size_t(position) > m_listed.size())
            throw StoreError("position " + std::to_string(position) + " is outside the listing");
        return m_listed[size_t(position - 1)];
    }

    Ref<> Find(const std::wstring &entryId, int32_t position)
    {
        const std::string gone = "the contact listed at position " + std::to_string(position) + " has gone since the listing";
        Ref<> item;
        try {
            const Variant id = Variant::String(entryId);
            item = AsObject(D().Call(m_nameSpace.Get(), "namespace", L"GetItemFromID", DISPATCH_METHOD, {&id}),
                            IID_IDispatch, "item");
        } catch (const StoreError &error) {
            throw StoreError(gone + " (" + error.what() + ")");
        }
        // A deleted item may live on in Deleted Items under the same identity.
        if (!m_folderId.empty()) {
            Ref<> parent = AsObject(D().Get(item.Get(), "item", L"Parent"), IID_IDispatch, "item's folder");
            const Text id = D().Read(parent.Get(), "folder", L"EntryID");
            if (std::wstring(id.begin(), id.end()) != m_folderId && !SameEntry(id))
                throw StoreError(gone + " (it is in another folder now)");
        }
        return item;
    }

    bool SameEntry(const Text &id)
    {
        const Variant first = Variant::String(std::wstring(id.begin(), id.end()));
        const Variant second = Variant::String(m_folderId);
        try {
            const Variant same = D().Call(m_nameSpace.Get(), "namespace", L"CompareEntryIDs", DISPATCH_METHOD,
                                          {&first, &second});
            return same.vt == VT_BOOL && same.boolVal != VARIANT_FALSE;
        } catch (const StoreError &) {
            return false;
        }
    }

    // The item-by-item way for an item listed without its identity: the
    // number of the item at the position now, when it still has the class
    // and names listed there.
    Text FaxNumberAtPosition(int32_t position, const Listed &listed, FaxKind kind)
    {
        const Fetched fetched = FetchItem(position);
        IDispatch *item = fetched.item.Get();
        if (ReadClass(item) != ContactClass || D().Read(item, "item", L"LastName") != listed.lastName
            || D().Read(item, "item", L"FirstName") != listed.firstName
            || D().Read(item, "item", L"CompanyName") != listed.companyName)
            throw StoreError("the contact listed at position " + std::to_string(position)
                             + " has moved or changed since the listing");
        return D().Read(item, "item", FaxProperty(kind));
    }

    int ReadClass(IDispatch *item)
    {
        const long long itemClass = AsInteger(D().Get(item, "item", L"Class"), L"Class");
        // Class codes are small; anything outside int is no contact either.
        return itemClass == int(itemClass) ? int(itemClass) : -1;
    }

    // The folder's item collection as it is now; held only for one access.
    Ref<> FetchItems()
    {
        return AsObject(D().Get(m_folder.Get(), "folder", L"Items"), IID_OutlookItems, "item collection");
    }

    // The item at the position in a freshly fetched collection; both are let
    // go, the item first, when the caller is done reading it.
    struct Fetched {
        Ref<> items;
        Ref<> item;
    };
    Fetched FetchItem(int32_t position)
    {
        Fetched fetched{FetchItems(), {}};
        const Variant index = Variant::Long(position);
        fetched.item = AsObject(D().Call(fetched.items.Get(), "items", L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                         {&index}),
                                IID_IDispatch, "item");
        return fetched;
    }

    // Declared in the order they are needed; they go in the reverse order:
    // the held item, the events, the namespace, the folder, COM last.
    std::shared_ptr<void> m_apartment;
    std::shared_ptr<Dispatcher> m_dispatcher;
    Ref<> m_folder;
    Ref<> m_nameSpace;
    std::wstring m_folderId;
    std::unique_ptr<ItemsEvents> m_events;
    std::vector<Listed> m_listed; // by position, as the last listing saw them
    bool m_complete = false;      // the last listing ran to its end
    std::optional<FolderStamp> m_stamp; // the folder as it was when it began
    Ref<> m_held;                 // the item of the selection under way
    int32_t m_heldPosition = 0;
};
} // namespace

OutlookStore::OutlookStore() : m_apartment(EnterApartment()), m_dispatcher(std::make_shared<Dispatcher>())
{
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"outlook.application", &clsid);
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG)
        throw StoreError("Outlook is not installed (outlook.application is not registered)");
    if (FAILED(hr))
        throw StoreError("Outlook's class could not be looked up (" + Hex(hr) + ")");
    IUnknown *unknown = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void **>(&unknown));
    if (FAILED(hr))
        throw StoreError("Outlook could not be started (" + Hex(hr) + ")");
    hr = unknown->QueryInterface(IID_OutlookApplication, reinterpret_cast<void **>(&m_outlookApp));
    unknown->Release();
    if (FAILED(hr) || !m_outlookApp) {
        m_outlookApp = nullptr;
        throw StoreError("Outlook offers no application interface (" + Hex(hr) + ")");
    }
}

OutlookStore::~OutlookStore()
{
    if (m_outlookApp)
        m_outlookApp->Release();
}

std::unique_ptr<ContactsFolder> OutlookStore::OpenDefaultContactsFolder()
{
    // The namespace stays with the folder, to find listed items by identity.
    const Variant type = Variant::String(L"MAPI");
    Ref<> nameSpace = AsObject(m_dispatcher->Call(m_outlookApp, "application", L"GetNamespace", DISPATCH_METHOD, {&type}),
                               IID_OutlookNameSpace, "MAPI namespace");
    const Variant kind = Variant::Long(kContactsFolder);
    Ref<> folder = AsObject(m_dispatcher->Call(nameSpace.Get(), "namespace", L"GetDefaultFolder", DISPATCH_METHOD, {&kind}),
                            IID_OutlookFolder, "Contacts folder");
    return std::make_unique<OutlookFolder>(m_apartment, m_dispatcher, std::move(nameSpace), std::move(folder));
}
