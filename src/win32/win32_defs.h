#pragma once

// One place for the Windows headers' settings: Windows 10's API, Unicode,
// and no min/max macros.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "text.h"

#include <string>

// The program's texts are UTF-16 like Windows' own: only the type differs.
inline std::wstring Wide(TextView text)
{
    return std::wstring(text.begin(), text.end());
}
inline Text FromWide(std::wstring_view text)
{
    return Text(text.begin(), text.end());
}
