#include "outlook_store.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

// Outlook's interfaces on the way to the contacts, by their interface IDs.
// There are no headers for them here: every call goes through IDispatch.
namespace {
constexpr IID IID_OutlookApplication = {0x00063001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_OutlookNameSpace = {0x00063002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_OutlookFolder = {0x00063006, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_OutlookItems = {0x00063041, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr long kContactsFolder = 10; // olFolderContacts

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string Utf8(const wchar_t *text, size_t length)
{
    return ToUtf8(TextView(reinterpret_cast<const char16_t *>(text), length));
}

std::string Utf8(const wchar_t *text)
{
    return text ? Utf8(text, wcslen(text)) : std::string();
}

// One reference to a COM object, released when it goes.
class Ref {
public:
    Ref() = default;
    explicit Ref(IDispatch *object) : m_object(object) {}
    Ref(Ref &&other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    Ref &operator=(Ref &&other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~Ref() { Reset(); }
    void Reset()
    {
        if (m_object)
            m_object->Release();
        m_object = nullptr;
    }
    IDispatch *Get() const { return m_object; }

private:
    IDispatch *m_object = nullptr;
};

struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    ~Variant() { VariantClear(this); }
    Variant(Variant &&other) noexcept : VARIANT(other) { VariantInit(&other); }
    Variant(const Variant &) = delete;
    Variant &operator=(const Variant &) = delete;
};

// Calls a member of an object, looked up by its name at this moment.
Variant Call(IDispatch *object, const wchar_t *name, WORD kind, VARIANT *arguments = nullptr, UINT argumentCount = 0)
{
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        throw StoreError("Outlook does not know " + Utf8(name) + " (" + Hex(hr) + ")");
    DISPPARAMS parameters = {arguments, nullptr, argumentCount, 0};
    Variant result;
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters, &result, &exception, &badArgument);
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn)
            exception.pfnDeferredFillIn(&exception);
        std::string reason = Utf8(name) + " failed in Outlook";
        const HRESULT code = exception.scode ? exception.scode : HRESULT(exception.wCode);
        if (code)
            reason += " (" + Hex(code) + ")";
        if (exception.bstrDescription)
            reason += ": " + Utf8(exception.bstrDescription, SysStringLen(exception.bstrDescription));
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        throw StoreError(reason);
    }
    if (FAILED(hr))
        throw StoreError(Utf8(name) + " failed (" + Hex(hr) + ")");
    return result;
}

Variant Get(IDispatch *object, const wchar_t *property)
{
    return Call(object, property, DISPATCH_PROPERTYGET);
}

// The interface of an object that a call answered with.
Ref AsObject(const VARIANT &value, const IID &iid, const char *what)
{
    IUnknown *unknown = nullptr;
    if (value.vt == VT_DISPATCH)
        unknown = value.pdispVal;
    else if (value.vt == VT_UNKNOWN)
        unknown = value.punkVal;
    if (!unknown)
        throw StoreError(std::string("Outlook gave no ") + what);
    IDispatch *object = nullptr;
    const HRESULT hr = unknown->QueryInterface(iid, reinterpret_cast<void **>(&object));
    if (FAILED(hr) || !object)
        throw StoreError(std::string("Outlook's ") + what + " lacks the expected interface (" + Hex(hr) + ")");
    return Ref(object);
}

// A text property: empty when it has no value, an error when it is not text.
Text AsText(const VARIANT &value, const wchar_t *property)
{
    switch (value.vt) {
    case VT_BSTR:
        return value.bstrVal ? Text(reinterpret_cast<const char16_t *>(value.bstrVal), SysStringLen(value.bstrVal))
                             : Text();
    case VT_EMPTY:
    case VT_NULL:
        return {};
    default:
        throw StoreError(Utf8(property) + " is not text (variant type " + std::to_string(value.vt) + ")");
    }
}

long long AsInteger(const VARIANT &value, const wchar_t *property)
{
    switch (value.vt) {
    case VT_I1: return value.cVal;
    case VT_UI1: return value.bVal;
    case VT_I2: return value.iVal;
    case VT_UI2: return value.uiVal;
    case VT_I4: return value.lVal;
    case VT_UI4: return value.ulVal;
    case VT_INT: return value.intVal;
    case VT_UINT: return value.uintVal;
    case VT_I8: return value.llVal;
    default:
        throw StoreError(Utf8(property) + " is not a whole number (variant type " + std::to_string(value.vt) + ")");
    }
}

int ReadClass(IDispatch *item)
{
    const long long itemClass = AsInteger(Get(item, L"Class"), L"Class");
    // Class codes are small; anything outside int is no contact either.
    return itemClass == int(itemClass) ? int(itemClass) : -1;
}

Text ReadText(IDispatch *item, const wchar_t *property)
{
    return AsText(Get(item, property), property);
}

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

// What the listing read of the item at one position, kept only to tell at a
// selection whether that position still holds the same contact.
struct Listed {
    bool isContact = false;
    Text lastName, firstName, companyName;
};

class OutlookFolder final : public ContactsFolder {
public:
    OutlookFolder(std::shared_ptr<void> apartment, Ref folder)
        : m_apartment(std::move(apartment)), m_folder(std::move(folder))
    {
    }

    int32_t Count() override
    {
        Ref items = FetchItems();
        const long long count = AsInteger(Get(items.Get(), L"Count"), L"Count");
        // Positions are 32-bit: folders past 32,767 items are listed in full.
        if (count < 0 || count > INT32_MAX)
            throw StoreError("Outlook counts " + std::to_string(count) + " items");
        m_listed.assign(size_t(count), Listed{});
        return int32_t(count);
    }

    // The class, then, for a contact only, its names, each read from the item
    // at the position fetched afresh, as the listing prescribes.
    ContactItem Item(int32_t position) override
    {
        Listed &listed = ListedAt(position);
        listed = Listed{};
        ContactItem result;
        result.itemClass = ReadClass(FetchItem(position).item.Get());
        if (result.itemClass != ContactClass)
            return result;
        const Fetched contact = FetchItem(position);
        result.lastName = ReadText(contact.item.Get(), L"LastName");
        result.firstName = ReadText(contact.item.Get(), L"FirstName");
        result.companyName = ReadText(contact.item.Get(), L"CompanyName");
        listed = {true, result.lastName, result.firstName, result.companyName};
        return result;
    }

    // Each number is read from the item that stands at the position now. Had
    // the folder changed since the listing, that could be another contact,
    // and its number would go out as the chosen one's. So before the number
    // the same item's class and three names are read as well, and a position
    // that no longer holds the contact listed there is an error, never a
    // wrong number. (A contact whose names are all the same as the listed
    // one's cannot be told apart this way; no identifier is kept.)
    Text FaxNumber(int32_t position, FaxKind kind) override
    {
        const Listed &listed = ListedAt(position);
        if (!listed.isContact)
            throw StoreError("no contact was listed at position " + std::to_string(position));
        const Fetched fetched = FetchItem(position);
        IDispatch *item = fetched.item.Get();
        if (ReadClass(item) != ContactClass || ReadText(item, L"LastName") != listed.lastName
            || ReadText(item, L"FirstName") != listed.firstName || ReadText(item, L"CompanyName") != listed.companyName)
            throw StoreError("the contact listed at position " + std::to_string(position)
                             + " has moved or changed since the listing");
        const wchar_t *property = kind == FaxKind::Business ? L"BusinessFaxNumber"
                                  : kind == FaxKind::Home   ? L"HomeFaxNumber"
                                                            : L"OtherFaxNumber";
        return ReadText(item, property);
    }

private:
    Listed &ListedAt(int32_t position)
    {
        if (position < 1 || size_t(position) > m_listed.size())
            throw StoreError("position " + std::to_string(position) + " is outside the listing");
        return m_listed[size_t(position - 1)];
    }

    // The folder's item collection as it is now; held only for one access.
    Ref FetchItems() { return AsObject(Get(m_folder.Get(), L"Items"), IID_OutlookItems, "item collection"); }

    // The item at the position in a freshly fetched collection; both are let
    // go, the item first, when the caller is done reading it.
    struct Fetched {
        Ref items;
        Ref item;
    };
    Fetched FetchItem(int32_t position)
    {
        Fetched fetched{FetchItems(), {}};
        Variant index;
        index.vt = VT_I4;
        index.lVal = position;
        fetched.item = AsObject(Call(fetched.items.Get(), L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, &index, 1),
                                IID_IDispatch, "item");
        return fetched;
    }

    std::shared_ptr<void> m_apartment; // first, so that it goes last
    Ref m_folder;
    std::vector<Listed> m_listed; // by position, as the last Count() saw them
};
} // namespace

OutlookStore::OutlookStore() : m_apartment(EnterApartment())
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
    Ref folder;
    {
        Variant type;
        type.vt = VT_BSTR;
        type.bstrVal = SysAllocString(L"MAPI");
        Ref nameSpace = AsObject(Call(m_outlookApp, L"GetNamespace", DISPATCH_METHOD, &type, 1), IID_OutlookNameSpace,
                                 "MAPI namespace");
        Variant kind;
        kind.vt = VT_I4;
        kind.lVal = kContactsFolder;
        folder = AsObject(Call(nameSpace.Get(), L"GetDefaultFolder", DISPATCH_METHOD, &kind, 1), IID_OutlookFolder,
                          "Contacts folder");
    } // the namespace goes here
    return std::make_unique<OutlookFolder>(m_apartment, std::move(folder));
}
