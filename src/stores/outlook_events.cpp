#include "outlook_events.h"

#include <ocidl.h>

namespace outlook {
namespace {
// Outlook's ItemsEvents dispinterface.
constexpr IID DIID_ItemsEvents = {0x00063077, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
} // namespace

// Takes any of the collection's events as word that the folder changed.
class ItemsEvents::Sink final : public IDispatch {
public:
    bool heard = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_ItemsEvents) {
            *out = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
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
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override
    {
        heard = true; // ItemAdd (0xF001), ItemChange (0xF002), ItemRemove (0xF003)
        return S_OK;
    }

private:
    ULONG m_references = 1;
};

ItemsEvents::ItemsEvents(Dispatcher &dispatcher, IDispatch *folder)
    : m_items(AsObject(dispatcher.Get(folder, "folder", L"Items"), IID_IDispatch, "item collection"))
{
    Ref<IConnectionPointContainer> container;
    HRESULT hr = m_items.Get()->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(container.Out()));
    if (FAILED(hr))
        throw StoreError("Outlook's items offer no events (" + Hex(hr) + ")");
    hr = container.Get()->FindConnectionPoint(DIID_ItemsEvents, m_point.Out());
    if (FAILED(hr))
        throw StoreError("Outlook's items offer no ItemsEvents (" + Hex(hr) + ")");
    m_sink = new Sink;
    hr = m_point.Get()->Advise(m_sink, &m_cookie);
    if (FAILED(hr)) {
        m_sink->Release();
        m_sink = nullptr;
        throw StoreError("the items' events could not be connected (" + Hex(hr) + ")");
    }
}

ItemsEvents::~ItemsEvents()
{
    if (m_cookie)
        m_point.Get()->Unadvise(m_cookie);
    if (m_sink)
        m_sink->Release();
}

bool ItemsEvents::Heard() const { return m_sink->heard; }
void ItemsEvents::Forget() { m_sink->heard = false; }
} // namespace outlook
