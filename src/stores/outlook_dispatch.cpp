#include "outlook_dispatch.h"

#include <cstdio>
#include <vector>

namespace outlook {
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

std::string Utf8(const wchar_t *text) { return text ? Utf8(text, wcslen(text)) : std::string(); }

Variant Variant::Long(long value)
{
    Variant variant;
    variant.vt = VT_I4;
    variant.lVal = value;
    return variant;
}

Variant Variant::Bool(bool value)
{
    Variant variant;
    variant.vt = VT_BOOL;
    variant.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return variant;
}

Variant Variant::String(const std::wstring &value)
{
    Variant variant;
    variant.vt = VT_BSTR;
    variant.bstrVal = SysAllocStringLen(value.data(), UINT(value.size()));
    return variant;
}

Ref<> AsObject(const VARIANT &value, const IID &iid, const char *what)
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
    return Ref<>(object);
}

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

DISPID Dispatcher::Lookup(IDispatch *object, const char *kind, const wchar_t *name, bool again)
{
    const auto key = std::make_pair(std::string(kind), std::wstring(name));
    auto found = m_ids.find(key);
    if (found == m_ids.end() || again) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr))
            throw StoreError("Outlook does not know " + Utf8(name) + " (" + Hex(hr) + ")");
        found = m_ids.insert_or_assign(key, id).first;
    }
    return found->second;
}

Variant Dispatcher::Call(IDispatch *object, const char *kind, const wchar_t *name, WORD flags,
                         std::initializer_list<const VARIANT *> arguments)
{
    // Invoke takes the arguments last first.
    std::vector<VARIANT> passed;
    for (auto it = arguments.end(); it != arguments.begin();)
        passed.push_back(**--it);
    DISPPARAMS parameters = {passed.data(), nullptr, UINT(passed.size()), 0};
    Variant result;
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    HRESULT hr = object->Invoke(Lookup(object, kind, name, false), IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                &result, &exception, &badArgument);
    if (hr == DISP_E_MEMBERNOTFOUND)
        hr = object->Invoke(Lookup(object, kind, name, true), IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                            &result, &exception, &badArgument);
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
} // namespace outlook
