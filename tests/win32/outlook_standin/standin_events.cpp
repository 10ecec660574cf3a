#include "standin_events.h"

#include "standin_object.h"

#include <olectl.h>

#include <utility>

namespace standin {
namespace {
// Outlook's ItemsEvents dispinterface and its members' dispatch IDs.
constexpr IID kItemsEvents = {0x00063077, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr DISPID kItemAdd = 0xF001, kItemChange = 0xF002, kItemRemove = 0xF003;

std::vector<std::pair<DWORD, IDispatch *>> g_sinks;
DWORD g_lastCookie = 0;

// A COM object with one interface of its own besides IUnknown.
template <class Interface>
class Simple : public Interface {
public:
    Simple() { Created(); }
    virtual ~Simple() { Destroyed(); }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

private:
    ULONG m_references = 1;
};

class ConnectionPoint final : public Simple<IConnectionPoint> {
public:
    explicit ConnectionPoint(IConnectionPointContainer *container) : m_container(container) { m_container->AddRef(); }
    ~ConnectionPoint() override { m_container->Release(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override
    {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IConnectionPoint)
            return E_NOINTERFACE;
        *out = static_cast<IConnectionPoint *>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID *iid) override
    {
        *iid = kItemsEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer **container) override
    {
        *container = m_container;
        m_container->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown *sink, DWORD *cookie) override
    {
        Count();
        *cookie = 0;
        IDispatch *events = nullptr;
        // The events go through IDispatch, as a dispinterface's do.
        if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&events))))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = ++g_lastCookie;
        g_sinks.emplace_back(*cookie, events);
        Journal("Items advise " + std::to_string(*cookie));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override
    {
        Count();
        for (auto it = g_sinks.begin(); it != g_sinks.end(); ++it) {
            if (it->first == cookie) {
                IDispatch *sink = it->second;
                g_sinks.erase(it);
                sink->Release();
                Journal("Items unadvise " + std::to_string(cookie));
                return S_OK;
            }
        }
        return CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections **connections) override
    {
        *connections = nullptr;
        return E_NOTIMPL;
    }

private:
    IConnectionPointContainer *m_container;
};

class Container final : public Simple<IConnectionPointContainer> {
public:
    explicit Container(IDispatch *owner) : m_owner(owner) { m_owner->AddRef(); }
    ~Container() override { m_owner->Release(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override
    {
        if (iid == IID_IConnectionPointContainer) {
            *out = static_cast<IConnectionPointContainer *>(this);
            AddRef();
            return S_OK;
        }
        return m_owner->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints **points) override
    {
        *points = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint **point) override
    {
        Count();
        *point = nullptr;
        if (iid != kItemsEvents)
            return CONNECT_E_NOCONNECTION;
        *point = new ConnectionPoint(this);
        return S_OK;
    }

private:
    IDispatch *m_owner;
};

void Fire(DISPID event, const char *name, VARIANT *argument)
{
    Journal(std::string("Items event ") + name);
    const auto sinks = g_sinks;
    for (const auto &[cookie, sink] : sinks) {
        DISPPARAMS parameters = {argument, nullptr, argument ? 1u : 0u, 0};
        const HRESULT hr =
            sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
        Journal(std::string("Items delivered ") + name + (SUCCEEDED(hr) ? "" : " (failed)"));
    }
}

void FireItem(DISPID event, const char *name, uint64_t id)
{
    const std::shared_ptr<const Snapshot> now = Current();
    VARIANT item;
    VariantInit(&item);
    NewItem(now, now->byId.at(id), &item);
    Fire(event, name, &item);
    VariantClear(&item);
}
} // namespace

IConnectionPointContainer *NewConnectionPoints(IDispatch *owner) { return new Container(owner); }

void FireEvents(const std::vector<uint64_t> &added, const std::vector<uint64_t> &changed, size_t removed)
{
    if (g_sinks.empty())
        return;
    for (uint64_t id : added)
        FireItem(kItemAdd, "ItemAdd", id);
    for (uint64_t id : changed)
        FireItem(kItemChange, "ItemChange", id);
    for (size_t i = 0; i < removed; ++i)
        Fire(kItemRemove, "ItemRemove", nullptr);
}
} // namespace standin
