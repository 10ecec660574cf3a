#pragma once

// The base of the stand-in's objects: IDispatch with members looked up by
// name, reference counting, the journal and the call count.
#include "standin_state.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace standin {
void Created();
void Destroyed();
long NextSerial();

// Hands a new object's one reference to the caller.
template <class Interface>
HRESULT Hand(Interface *object, VARIANT *result)
{
    if (!result) {
        object->Release();
        return S_OK;
    }
    VariantInit(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    return S_OK;
}

// Dispatch IDs are fixed per kind of object, as an interface's are: a client
// may keep one for every object of that kind, and one kept for another kind
// is refused.
inline DISPID KindBase(const char *kind)
{
    static const char *const kinds[] = {"Application", "NameSpace", "Folder", "Items", "Item",
                                        "Table",       "Columns",   "Column", "Row",    "Object"};
    for (size_t i = 0; i < sizeof kinds / sizeof *kinds; ++i)
        if (std::strcmp(kinds[i], kind) == 0)
            return 1000 + DISPID(i) * 64;
    return 9000;
}

// A member that only the benchmark and the tests ask: neither journaled nor
// counted.
inline bool Silent(const wchar_t *name) { return _wcsicmp(name, L"ReceivedCalls") == 0; }

template <class Interface>
class Object : public Interface {
public:
    Object(const char *kind, std::vector<const wchar_t *> members, std::shared_ptr<const Snapshot> snapshot = Current())
        : m_kind(kind), m_serial(NextSerial()), m_members(std::move(members)), m_snapshot(std::move(snapshot))
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
            Count();
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
                if (!Silent(m_members[i])) {
                    Count();
                    Journal(Name() + " name " + Narrow(m_members[i]));
                }
                ids[0] = Base() + DISPID(i);
                return S_OK;
            }
        }
        Count();
        Journal(Name() + " name? " + Narrow(names[0]));
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *parameters, VARIANT *result,
                                     EXCEPINFO *exception, UINT *) override
    {
        const DISPID member = id - Base();
        if (member < 0 || size_t(member) >= m_members.size()) {
            Count();
            Journal(Name() + " call? " + std::to_string(id));
            return DISP_E_MEMBERNOTFOUND;
        }
        const std::wstring name = m_members[size_t(member)];
        if (!Silent(name.c_str()))
            Count();
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            Journal(Name() + " put " + Narrow(name));
            return DISP_E_MEMBERNOTFOUND;
        }
        if (!Silent(name.c_str()))
            Journal(Name() + " call " + Narrow(name));
        BeforeCall();
        if (Current()->failing.count(name))
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
        if (Current()->failing.count(m_members[size_t(member)]))
            return E_FAIL;
        const HRESULT hr = Answer(member, &parameters, result, nullptr);
        return hr == DISP_E_EXCEPTION ? E_FAIL : hr;
    }

    std::string Name() const { return std::string(m_kind) + "#" + std::to_string(m_serial); }
    DISPID Base() const { return KindBase(m_kind); }

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

// A table of the folder's items (standin_table.cpp): GetTable's answer.
HRESULT NewTable(const VARIANT *filter, VARIANT *result, EXCEPINFO *exception);
// An item by its identity, from the current snapshot.
HRESULT NewItem(std::shared_ptr<const Snapshot> snapshot, size_t row, VARIANT *result);
} // namespace standin
