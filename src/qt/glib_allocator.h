#pragma once

#include <cstdlib>

// GLib's slice allocator keeps what the address-book client frees for the
// program's whole life in the tray; with malloc it goes back to the system
// after a session. Must run before anything uses GLib; a user's own setting
// wins.
inline void UseMallocForGLib()
{
    setenv("G_SLICE", "always-malloc", 0);
}
