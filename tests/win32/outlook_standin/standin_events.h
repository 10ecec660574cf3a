#pragma once

// The item collection's events: ItemAdd, ItemChange and ItemRemove of
// Outlook's ItemsEvents, through a connection point that every Items object
// offers. All connections hear every change of the one folder.
#include <oaidl.h>
#include <ocidl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace standin {
// The connection point container of an Items object (a tear-off: its
// identity is the owner's).
IConnectionPointContainer *NewConnectionPoints(IDispatch *owner);
// Tells every connection what the last read of the contacts file changed.
void FireEvents(const std::vector<uint64_t> &added, const std::vector<uint64_t> &changed, size_t removed);
} // namespace standin
