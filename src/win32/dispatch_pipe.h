#pragma once

// The pieces of a shared Windows host's dispatcher that meet the system: the
// registration pipe, who is at its other end, and handing a fax server's
// connection to another process. The routing rules are the Linux
// dispatcher's (routing.h).

#include "win32_defs.h"

#include <optional>
#include <string>

// Where the dispatcher service takes registrations.
constexpr wchar_t kDispatcherPipe[] = L"\\\\.\\pipe\\corvane-tesk-dispatcher";

// Who a registration pipe's client is, from the system: its token's user
// and its process.
struct PipeClient {
    std::wstring user;   // the account name, without its domain
    std::wstring domain;
    DWORD process = 0;
};

// Makes one instance of the registration pipe: message mode, overlapped,
// local clients only, readable and writable by signed-in users. The first
// instance fails when the name is already taken, so nobody can stand in for
// the dispatcher by creating the pipe before it.
HANDLE CreateRegistrationPipe(const std::wstring &name, bool first);

// The client of a connected pipe instance. The client must have written at
// least one message (the system lets a server take a client's identity only
// then); nothing when the system cannot say.
std::optional<PipeClient> IdentifyPipeClient(HANDLE pipe);

// Hands a connection to a process as one pipe message, "CONNECTION" and the
// socket's description for that process; the caller closes its own socket.
bool HandOverConnection(SOCKET connection, DWORD process, HANDLE pipe);

// The connection a "CONNECTION" message hands over, in this process; or
// INVALID_SOCKET.
SOCKET TakeHandedOverConnection(const std::string &message);
