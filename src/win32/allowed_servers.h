#pragma once

#include "peer_filter.h"
#include "win32_defs.h"

// The fax servers that may ask, as the user listed them: in the variable
// CORVANE_TESK_FAX_SERVERS when set, else in the file
// %APPDATA%\Corvane Tesk\fax-servers when it exists; host names are looked
// up once, now. No list lets every fax server ask. Throws BadPeerList saying
// what is wrong with a list.
PeerFilter AllowedFaxServers();
