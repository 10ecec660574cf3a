#include "standin_objects.h"

#include "outlook_standin.h"
#include "standin_ids.h"

#include <windows.h>
#include <oleauto.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace standin {
namespace {
std::atomic<long> g_live{0};
void (*g_onIdle)() = nullptr;
std::atomic<long> g_serial{0};

void Created() { ++g_live; }
void Destroyed()
{
    if (--g_live == 0 && g_onIdle)
        g_onIdle();
}

std::wstring Wide(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring &wide)
{
    if (wide.empty())
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring Setting(const wchar_t *name)
{
    wchar_t value[1024];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

// One value of an item, as the file gives it.
struct Value {
    VARTYPE type = VT_BSTR;
    std::wstring text;
    long number = 0;
};

Value Parse(const std::string &field)
{
    Value value;
    if (field.empty() || field[0] != '=') {
        value.text = Wide(field);
    } else if (field == "=empty") {
        value.type = VT_EMPTY;
    } else if (field == "=null") {
        value.type = VT_NULL;
    } else if (field == "=object") {
        value.type = VT_DISPATCH;
    } else if (field.rfind("=i4:", 0) == 0) {
        value.type = VT_I4;
        value.number = std::stol(field.substr(4));
    } else if (field.rfind("=text:", 0) == 0) {
        value.text = Wide(field.substr(6));
    } else {
        value.text = Wide(field);
    }
    return value;
}

enum Field { kClass, kLastName, kFirstName, kCompanyName, kBusinessFax, kHomeFax, kOtherFax, kFieldCount };
using Row = std::array<Value, kFieldCount>;

struct Snapshot {
    std::vector<Row> rows;
    std::set<std::wstring> failing; // member names
    std::set<std::wstring> without; // object kinds
};

struct State {
    std::shared_ptr<const Snapshot> snapshot = std::make_shared<Snapshot>();
    std::wstring contactsPath;
    WIN32_FILE_ATTRIBUTE_DATA contactsFile = {};
    std::wstring journalPath;
};
State g_state;

std::shared_ptr<const Snapshot> Read(const std::wstring &path)
{
    auto snapshot = std::make_shared<Snapshot>();
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("!fail ", 0) == 0) {
            snapshot->failing.insert(Wide(line.substr(6)));
            continue;
        }
        if (line.rfind("!without ", 0) == 0) {
            snapshot->without.insert(Wide(line.substr(9)));
            continue;
        }
        Row row;
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < kFieldCount && std::getline(fields, field, '\t'); ++i) {
            row[size_t(i)] = Parse(field);
            if (i == kClass && !field.empty() && field[0] != '=') {
                // A plain class code: a number.
                row[kClass].type = VT_I4;
                row[kClass].number = std::stol(field);
            }
        }
        snapshot->rows.push_back(std::move(row));
    }
    return snapshot;
}

// Takes up changes of the settings and of the contacts file.
void Refresh()
{
    g_state.journalPath = Setting(L"Journal");
    const std::wstring path = Setting(L"Contacts");
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    if (!path.empty())
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &file);
    const bool same = path == g_state.contactsPath
                      && CompareFileTime(&file.ftLastWriteTime, &g_state.contactsFile.ftLastWriteTime) == 0
                      && file.nFileSizeLow == g_state.contactsFile.nFileSizeLow
                      && file.nFileSizeHigh == g_state.contactsFile.nFileSizeHigh;
    if (same)
        return;
    g_state.contactsPath = path;
    g_state.contactsFile = file;
    g_state.snapshot = path.empty() ? std::make_shared<Snapshot>() : Read(path);
}

void Journal(const std::string &line)
{
    if (g_state.journalPath.empty())
        return;
    HANDLE file = CreateFileW(g_state.journalPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

HRESULT Fail(EXCEPINFO *exception, const std::wstring &description)
{
    if (exception) {
        *exception = {};
        exception->bstrSource = SysAllocString(L"Outlook stand-in");
        exception->bstrDescription = SysAllocString(description.c_str());
        exception->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
}

// The one argument of a call, as a number.
bool NumberArgument(DISPPARAMS *parameters, long *number)
{
    if (!parameters || parameters->cArgs != 1)
        return false;
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &parameters->rgvarg[0], 0, VT_I4)))
        return false;
    *number = converted.lVal;
    return true;
}

template <class Interface>
HRESULT Hand(Interface *object, VARIANT *result)
{
    // The new object's one reference goes to the caller.
    if (!result) {
        object->Release();
        return S_OK;
    }
    VariantInit(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    return S_OK;
}

// An IDispatch object whose members are looked up by name.
template <class Interface>
class Object : public Interface {
public:
    Object(const char *kind, std::vector<const wchar_t *> members,
           std::shared_ptr<const Snapshot> snapshot = g_state.snapshot)
        : m_kind(kind), m_serial(++g_serial), m_members(std::move(members)), m_snapshot(std::move(snapshot))
    {
        Created();
    }
    virtual ~Object() { Destroyed(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        const bool own = iid == __uuidof(Interface) && !m_snapshot->without.count(Wide(m_kind));
        if (iid == IID_IUnknown || iid == IID_IDispatch || own) {
            *out = static_cast<Interface *>(this);
            this->AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_references;
        if (left == 0) {
            Journal(Name() + " released");
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override
    {
        *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        if (count != 1)
            return DISP_E_UNKNOWNNAME;
        for (size_t i = 0; i < m_members.size(); ++i) {
            if (_wcsicmp(names[0], m_members[i]) == 0) {
                Journal(Name() + " name " + Narrow(m_members[i]));
                ids[0] = Base() + DISPID(i);
                return S_OK;
            }
        }
        Journal(Name() + " name? " + Narrow(names[0]));
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters, VARIANT *result,
                                     EXCEPINFO *exception, UINT *) override
    {
        const DISPID member = id - Base();
        if (member < 0 || size_t(member) >= m_members.size()) {
            Journal(Name() + " call? " + std::to_string(id));
            return DISP_E_MEMBERNOTFOUND;
        }
        const std::wstring name = m_members[size_t(member)];
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            Journal(Name() + " put " + Narrow(name));
            return DISP_E_MEMBERNOTFOUND;
        }
        Journal(Name() + " call " + Narrow(name));
        BeforeCall();
        if (g_state.snapshot->failing.count(name))
            return Fail(exception, name + L" fails, as the test asked");
        return Answer(int(member), parameters, result, exception);
    }

protected:
    virtual HRESULT Answer(int member, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) = 0;
    virtual void BeforeCall() {}

    // The dual interface's own methods answer as the same member does.
    HRESULT Direct(int member, VARIANT *result, VARIANT *argument = nullptr)
    {
        DISPPARAMS parameters = {argument, nullptr, argument ? 1u : 0u, 0};
        BeforeCall();
        if (g_state.snapshot->failing.count(m_members[size_t(member)]))
            return E_FAIL;
        const HRESULT hr = Answer(member, &parameters, result, nullptr);
        return hr == DISP_E_EXCEPTION ? E_FAIL : hr;
    }

    std::string Name() const { return std::string(m_kind) + "#" + std::to_string(m_serial); }
    DISPID Base() const { return 1000 + DISPID(m_serial % 100000) * 16; }

    const char *m_kind;
    long m_serial;
    std::vector<const wchar_t *> m_members;
    std::shared_ptr<const Snapshot> m_snapshot;
    std::atomic<ULONG> m_references{1};
};

// An object that has nothing but IDispatch, for "=object" values.
class Plain final : public Object<IDispatch> {
public:
    Plain() : Object("Object", {}) {}

protected:
    HRESULT Answer(int, DISPPARAMS *, VARIANT *, EXCEPINFO *) override { return DISP_E_MEMBERNOTFOUND; }
};

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
    case VT_DISPATCH:
        result->pdispVal = new Plain();
        break;
    default:
        break;
    }
    return S_OK;
}

HRESULT PutArray(const Row &row, SAFEARRAY *array, LONG first)
{
    for (LONG i = 0; i < 4; ++i) {
        VARIANT value;
        Put(row[size_t(i)], &value);
        LONG index = first + i;
        SafeArrayPutElement(array, &index, &value);
        VariantClear(&value);
    }
    return S_OK;
}

class ContactItem final : public Object<_ContactItem> {
public:
    ContactItem(std::shared_ptr<const Snapshot> snapshot, size_t row)
        : Object("Item",
                 {L"Class", L"LastName", L"FirstName", L"CompanyName", L"BusinessFaxNumber", L"HomeFaxNumber",
                  L"OtherFaxNumber", L"ListingFields"},
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
    HRESULT STDMETHODCALLTYPE ListingFields(VARIANT *fields) override { return Direct(kFieldCount, fields); }

protected:
    HRESULT Answer(int member, DISPPARAMS *, VARIANT *result, EXCEPINFO *) override
    {
        const Row &row = m_snapshot->rows[m_row];
        if (member < kFieldCount)
            return Put(row[size_t(member)], result);
        if (!result)
            return S_OK;
        SAFEARRAY *array = SafeArrayCreateVector(VT_VARIANT, 0, 4);
        PutArray(row, array, 0);
        VariantInit(result);
        result->vt = VT_ARRAY | VT_VARIANT;
        result->parray = array;
        return S_OK;
    }

private:
    size_t m_row;
};

class Items final : public Object<_Items> {
public:
    Items() : Object("Items", {L"Count", L"Item", L"ListingRows"}) {}
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
    Folder() : Object("Folder", {L"Items"}) {}
    HRESULT STDMETHODCALLTYPE get_Items(_Items **items) override
    {
        VARIANT value;
        const HRESULT hr = Direct(0, &value);
        *items = SUCCEEDED(hr) ? static_cast<_Items *>(static_cast<Items *>(value.pdispVal)) : nullptr;
        return hr;
    }

protected:
    // A fresh look at the contacts file for every collection.
    void BeforeCall() override { Refresh(); }
    HRESULT Answer(int, DISPPARAMS *, VARIANT *result, EXCEPINFO *) override
    {
        return Hand(static_cast<_Items *>(new Items()), result);
    }
};

class NameSpace final : public Object<_NameSpace> {
public:
    NameSpace() : Object("NameSpace", {L"GetDefaultFolder"}) {}
    HRESULT STDMETHODCALLTYPE GetDefaultFolder(long folderType, MAPIFolder **folder) override
    {
        VARIANT kind, value;
        kind.vt = VT_I4;
        kind.lVal = folderType;
        const HRESULT hr = Direct(0, &value, &kind);
        *folder = SUCCEEDED(hr) ? static_cast<MAPIFolder *>(static_cast<Folder *>(value.pdispVal)) : nullptr;
        return hr;
    }

protected:
    HRESULT Answer(int, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) override
    {
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
    Application() : Object("Application", {L"GetNamespace", L"Quit"}) {}
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

protected:
    HRESULT Answer(int member, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) override
    {
        if (member == 1)
            return S_OK;
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

IClassFactory *Factory() { return &g_factory; }
long LiveObjects() { return g_live.load(); }
void SetIdleHandler(void (*handler)()) { g_onIdle = handler; }
} // namespace standin
