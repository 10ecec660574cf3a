#pragma once

#include "peer_filter.h"

#include <QProcessEnvironment>

// The fax servers that may ask, as the user listed them: in
// CORVANE_TESK_FAX_SERVERS when set, else in the file
// $XDG_CONFIG_HOME/corvane-tesk/fax-servers when it exists; host names are
// looked up once, now. No list lets every fax server ask. Throws BadPeerList
// saying what is wrong with a list.
PeerFilter AllowedFaxServers(const QProcessEnvironment &environment);
