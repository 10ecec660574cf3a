#include "standin_objects.h"

#include "outlook_standin.h"
#include "standin_events.h"
#include "standin_ids.h"
#include "standin_object.h"

#include <windows.h>
#include <oleauto.h>

#include <atomic>

namespace standin {
namespace {
std::atomic<long> g_live{0};
void (*g_onIdle)() = nullptr;
std::atomic<long> g_serial{0};
} // namespace

void Created() { ++g_live; }
void Destroyed()
{
    if (--g_live == 0 && g_onIdle)
        g_onIdle();
}
long NextSerial() { return ++g_serial; }

HRESULT Put(const Value &value, VARIANT *result)
{
    if (!result)
        return S_OK;
    VariantInit(result);
    result->vt = value.type;
    switch (value.type) {
    case VT_BSTR:
        result->bstrVal = SysAllocStringLen(value.text.data(), UINT(value.text.size()));
        break;
    case VT_I4:
        result->lVal = value.number;
        break;
    case VT_DATE:
        result->date = value.date;
        break;
    case VT_DISPATCH:
        result->pdispVal = new Plain();
        break;
    default:
        break;
    }
    return S_OK;
}

namespace {
HRESULT PutArray(const Row &row, SAFEARRAY *array, LONG first)
{
    for (LONG i = 0; i < 4; ++i) {
        VARIANT value;
        Put(row.fields[size_t(i)], &value);
        LONG index = first + i;
        SafeArrayPutElement(array, &index, &value);
        VariantClear(&value);
    }
    return S_OK;
}

class Folder;

enum ItemMember { kListingFields = kFieldCount, kEntryId, kParent, kMessageClass };

class ContactItem final : public Object<_ContactItem> {
public:
    ContactItem(std::shared_ptr<const Snapshot> snapshot, size_t row)
        : Object("Item",
                 {L"Class", L"LastName", L"FirstName", L"CompanyName", L"BusinessFaxNumber", L"HomeFaxNumber",
                  L"OtherFaxNumber", L"ListingFields", L"EntryID", L"Parent", L"MessageClass"},
                 std::move(snapshot)),
          m_row(row)
    {
    }
    HRESULT STDMETHODCALLTYPE get_Class(VARIANT *value) override { return Direct(kClass, value); }
    HRESULT STDMETHODCALLTYPE get_LastName(VARIANT *value) override { return Direct(kLastName, value); }
    HRESULT STDMETHODCALLTYPE get_FirstName(VARIANT *value) override { return Direct(kFirstName, value); }
    HRESULT STDMETHODCALLTYPE get_CompanyName(VARIANT *value) override { return Direct(kCompanyName, value); }
    HRESULT STDMETHODCALLTYPE get_BusinessFaxNumber(VARIANT *value) override { return Direct(kBusinessFax, value); }
    HRESULT STDMETHODCALLTYPE get_HomeFaxNumber(VARIANT *value) override { return Direct(kHomeFax, value); }
    HRESULT STDMETHODCALLTYPE get_OtherFaxNumber(VARIANT *value) override { return Direct(kOtherFax, value); }
    HRESULT STDMETHODCALLTYPE ListingFields(VARIANT *fields) override { return Direct(kListingFields, fields); }
    HRESULT STDMETHODCALLTYPE get_EntryID(VARIANT *value) override { return Direct(kEntryId, value); }
    HRESULT STDMETHODCALLTYPE get_Parent(IDispatch **folder) override
    {
        VARIANT value;
        const HRESULT hr = Direct(kParent, &value);
        *folder = SUCCEEDED(hr) ? value.pdispVal : nullptr;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_MessageClass(VARIANT *value) override { return Direct(kMessageClass, value); }

protected:
    HRESULT Answer(int member, DISPPARAMS *, VARIANT *result, EXCEPINFO *) override;

private:
    size_t m_row;
};

class Items final : public Object<_Items> {
public:
    Items() : Object("Items", {L"Count", L"Item", L"ListingRows"}) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override
    {
        // Its events, through a connection point (standin_events.cpp).
        if (out && iid == IID_IConnectionPointContainer) {
            *out = NewConnectionPoints(static_cast<IDispatch *>(this));
            return *out ? S_OK : E_OUTOFMEMORY;
        }
        return Object::QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE get_Count(long *count) override
    {
        VARIANT value;
        const HRESULT hr = Direct(0, &value);
        if (SUCCEEDED(hr))
            *count = value.lVal;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IDispatch **item) override
    {
        VARIANT value;
        const HRESULT hr = Direct(1, &value, &index);
        *item = SUCCEEDED(hr) ? value.pdispVal : nullptr;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ListingRows(VARIANT *rows) override { return Direct(2, rows); }

protected:
    HRESULT Answer(int member, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) override
    {
        const std::vector<Row> &rows = m_snapshot->rows;
        switch (member) {
        case 0:
            if (result) {
                VariantInit(result);
                result->vt = VT_I4;
                result->lVal = long(rows.size());
            }
            return S_OK;
        case 1: {
            long position = 0;
            if (!NumberArgument(parameters, &position))
                return DISP_E_TYPEMISMATCH;
            if (position < 1 || size_t(position) > rows.size())
                return Fail(exception, L"Array index out of bounds.");
            return Hand(new ContactItem(m_snapshot, size_t(position - 1)), result);
        }
        default: {
            if (!result)
                return S_OK;
            SAFEARRAY *array = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(rows.size() * 4));
            for (size_t i = 0; i < rows.size(); ++i)
                PutArray(rows[i], array, LONG(i * 4));
            VariantInit(result);
            result->vt = VT_ARRAY | VT_VARIANT;
            result->parray = array;
            return S_OK;
        }
        }
    }
};

class Folder final : public Object<MAPIFolder> {
public:
    Folder() : Object("Folder", {L"Items", L"GetTable", L"EntryID"}) {}
    HRESULT STDMETHODCALLTYPE get_Items(_Items **items) override
    {
        VARIANT value;
        const HRESULT hr = Direct(0, &value);
        *items = SUCCEEDED(hr) ? static_cast<_Items *>(static_cast<Items *>(value.pdispVal)) : nullptr;
        return hr;
    }
    // Reached through IDispatch only.
    HRESULT STDMETHODCALLTYPE GetTable(VARIANT, VARIANT, IDispatch **table) override
    {
        *table = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_EntryID(VARIANT *value) override { return Direct(2, value); }

protected:
    // A fresh look at the contacts file for every collection and table.
    void BeforeCall() override { Refresh(); }
    HRESULT Answer(int member, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) override
    {
        switch (member) {
        case 0: return Hand(static_cast<_Items *>(new Items()), result);
        case 1: return NewTable(Argument(parameters, 0), result, exception);
        default: {
            Value id;
            id.text = FolderEntryId();
            return Put(id, result);
        }
        }
    }
};

HRESULT ContactItem::Answer(int member, DISPPARAMS *, VARIANT *result, EXCEPINFO *)
{
    const Row &row = m_snapshot->rows[m_row];
    Value value;
    switch (member) {
    case kListingFields: {
        if (!result)
            return S_OK;
        SAFEARRAY *array = SafeArrayCreateVector(VT_VARIANT, 0, 4);
        PutArray(row, array, 0);
        VariantInit(result);
        result->vt = VT_ARRAY | VT_VARIANT;
        result->parray = array;
        return S_OK;
    }
    case kEntryId: PropertyValue(*m_snapshot, row, L"EntryID", &value); return Put(value, result);
    case kMessageClass: PropertyValue(*m_snapshot, row, L"MessageClass", &value); return Put(value, result);
    case kParent: return Hand(static_cast<MAPIFolder *>(new Folder()), result);
    default: return Put(row.fields[size_t(member)], result);
    }
}

class NameSpace final : public Object<_NameSpace> {
public:
    NameSpace() : Object("NameSpace", {L"GetDefaultFolder", L"GetItemFromID"}) {}
    HRESULT STDMETHODCALLTYPE GetDefaultFolder(long folderType, MAPIFolder **folder) override
    {
        VARIANT kind, value;
        kind.vt = VT_I4;
        kind.lVal = folderType;
        const HRESULT hr = Direct(0, &value, &kind);
        *folder = SUCCEEDED(hr) ? static_cast<MAPIFolder *>(static_cast<Folder *>(value.pdispVal)) : nullptr;
        return hr;
    }
    // Reached through IDispatch only.
    HRESULT STDMETHODCALLTYPE GetItemFromID(BSTR, VARIANT, IDispatch **item) override
    {
        *item = nullptr;
        return E_NOTIMPL;
    }

protected:
    HRESULT Answer(int member, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) override
    {
        if (member == 1) {
            // The item as the contacts file holds it now; gone when its line has gone.
            Refresh();
            const VARIANT *id = Argument(parameters, 0);
            if (!id || id->vt != VT_BSTR)
                return DISP_E_TYPEMISMATCH;
            uint64_t serial = 0;
            const std::shared_ptr<const Snapshot> now = Current();
            const auto found = ParseEntryId(id->bstrVal ? id->bstrVal : L"", &serial) ? now->byId.find(serial)
                                                                                      : now->byId.end();
            if (found == now->byId.end())
                return Fail(exception, L"The operation failed. An object could not be found.", HRESULT(0x8004010F));
            return Hand(new ContactItem(now, found->second), result);
        }
        long kind = 0;
        if (!NumberArgument(parameters, &kind))
            return DISP_E_TYPEMISMATCH;
        if (kind != 10)
            return Fail(exception, L"The stand-in has only the Contacts folder (10).");
        return Hand(static_cast<MAPIFolder *>(new Folder()), result);
    }
};

class Application final : public Object<_Application> {
public:
    Application() : Object("Application", {L"GetNamespace", L"Quit", L"ReceivedCalls"}) {}
    HRESULT STDMETHODCALLTYPE GetNamespace(BSTR type, _NameSpace **nameSpace) override
    {
        VARIANT argument, value;
        argument.vt = VT_BSTR;
        argument.bstrVal = type;
        const HRESULT hr = Direct(0, &value, &argument);
        *nameSpace = SUCCEEDED(hr) ? static_cast<_NameSpace *>(static_cast<NameSpace *>(value.pdispVal)) : nullptr;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Quit() override { return Direct(1, nullptr); }
    HRESULT STDMETHODCALLTYPE get_ReceivedCalls(long *calls) override
    {
        *calls = standin::ReceivedCalls();
        return S_OK;
    }

protected:
    HRESULT Answer(int member, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) override
    {
        if (member == 1)
            return S_OK;
        if (member == 2) {
            if (result) {
                VariantInit(result);
                result->vt = VT_I4;
                result->lVal = standin::ReceivedCalls();
            }
            return S_OK;
        }
        if (!parameters || parameters->cArgs != 1 || parameters->rgvarg[0].vt != VT_BSTR)
            return DISP_E_TYPEMISMATCH;
        if (_wcsicmp(parameters->rgvarg[0].bstrVal, L"MAPI") != 0)
            return Fail(exception, L"The stand-in has only the MAPI namespace.");
        return Hand(static_cast<_NameSpace *>(new NameSpace()), result);
    }
};

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override
    {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **out) override
    {
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Refresh();
        Application *application = new Application();
        Journal("Application#" + std::to_string(g_serial.load()) + " created");
        const HRESULT hr = application->QueryInterface(iid, out);
        application->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            Created();
        else
            Destroyed();
        return S_OK;
    }
};
ClassFactory g_factory;
} // namespace

HRESULT NewItem(std::shared_ptr<const Snapshot> snapshot, size_t row, VARIANT *result)
{
    return Hand(new ContactItem(std::move(snapshot), row), result);
}

IClassFactory *Factory() { return &g_factory; }
long LiveObjects() { return g_live.load(); }
void SetIdleHandler(void (*handler)()) { g_onIdle = handler; }
} // namespace standin
