// The Windows program: a tray program that answers a fax server on TCP port
// 5555 with a destination from the user's Outlook contacts.
#include "address_book.h"
#include "allowed_servers.h"
#include "dispatch_pipe.h"
#include "front_end.h"
#include "texts.h"

#include <commctrl.h>
#include <objbase.h>
#include <cstdio>

namespace {
constexpr uint16_t kFaxServerPort = 5555;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Outlook is reached through COM from this, the GUI thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        return 1;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    int result = 0;
    {
        PeerFilter allowed;
        try {
            allowed = AllowedFaxServers();
        } catch (const BadPeerList &error) {
            // A program without a console says so in a box.
            char line[1024];
            std::snprintf(line, sizeof line, texts::console::BadFaxServerList, error.what());
            MessageBoxW(nullptr, Wide(FromUtf8(line)).c_str(), Wide(texts::ProgramTitle).c_str(), MB_ICONSTOP | MB_OK);
            return 1;
        }
        FrontEnd program(instance, kFaxServerPort, &OpenAddressBook);
        program.Socket().SetAllowedPeers(std::move(allowed));
        // On a session host the dispatcher service owns the port and hands
        // this user's requests over: the program then never listens itself.
        wchar_t pipe[256];
        const DWORD named = GetEnvironmentVariableW(L"CORVANE_TESK_DISPATCHER", pipe, 256);
        program.Socket().UseDispatcher(named > 0 && named < 256 ? pipe : kDispatcherPipe);
        program.Logic().Form_Load();
        result = program.Logic().IsUnloaded() ? 1 : program.Run();
    }
    WSACleanup();
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}
