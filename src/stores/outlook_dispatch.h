#pragma once

// Late-bound calls into Outlook through IDispatch: references, variants, the
// reading of values, and the member IDs, looked up once per name and kind of
// object and kept.
#include "contact_store.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <initializer_list>
#include <map>
#include <string>
#include <utility>

namespace outlook {
std::string Hex(HRESULT hr);
std::string Utf8(const wchar_t *text, size_t length);
std::string Utf8(const wchar_t *text);

// One reference to a COM object, released when it goes.
template <class Interface = IDispatch>
class Ref {
public:
    Ref() = default;
    explicit Ref(Interface *object) : m_object(object) {}
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
    Interface *Get() const { return m_object; }
    Interface **Out()
    {
        Reset();
        return &m_object;
    }

private:
    Interface *m_object = nullptr;
};

struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    ~Variant() { VariantClear(this); }
    Variant(Variant &&other) noexcept : VARIANT(other) { VariantInit(&other); }
    Variant(const Variant &) = delete;
    Variant &operator=(const Variant &) = delete;
    static Variant Long(long value);
    static Variant Bool(bool value);
    static Variant String(const std::wstring &value);
};

// The interface of an object that a call answered with.
Ref<> AsObject(const VARIANT &value, const IID &iid, const char *what);
// A text: empty when it has no value, an error when it is not text.
Text AsText(const VARIANT &value, const wchar_t *property);
long long AsInteger(const VARIANT &value, const wchar_t *property);

// Calls members by name. Each kind of object (the application, the namespace,
// a folder, an item, a table, ...) is one interface of Outlook's, whose
// member IDs are fixed: each is asked for once and kept, and an ID that an
// object refuses is looked up again for it.
class Dispatcher {
public:
    Variant Call(IDispatch *object, const char *kind, const wchar_t *name, WORD flags,
                 std::initializer_list<const VARIANT *> arguments = {});
    Variant Get(IDispatch *object, const char *kind, const wchar_t *property)
    {
        return Call(object, kind, property, DISPATCH_PROPERTYGET);
    }
    Text Read(IDispatch *object, const char *kind, const wchar_t *property)
    {
        return AsText(Get(object, kind, property), property);
    }

private:
    DISPID Lookup(IDispatch *object, const char *kind, const wchar_t *name, bool again);
    std::map<std::pair<std::string, std::wstring>, DISPID> m_ids;
};
} // namespace outlook
