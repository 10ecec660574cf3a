#pragma once

// Hears the ItemAdd, ItemChange and ItemRemove events of a Contacts folder's
// item collection, held with its connection for as long as this lives.
#include "outlook_dispatch.h"

#include <ocidl.h>

namespace outlook {
class ItemsEvents {
public:
    // Connects to the folder's items; StoreError when they offer no events.
    ItemsEvents(Dispatcher &dispatcher, IDispatch *folder);
    ~ItemsEvents();
    ItemsEvents(const ItemsEvents &) = delete;
    ItemsEvents &operator=(const ItemsEvents &) = delete;

    // Whether an event came since the last Forget(). Events come through the
    // thread's message loop, so one may still be on its way.
    bool Heard() const;
    void Forget();

private:
    class Sink;
    Ref<> m_items;
    Ref<IConnectionPoint> m_point;
    Sink *m_sink = nullptr;
    DWORD m_cookie = 0;
};
} // namespace outlook
