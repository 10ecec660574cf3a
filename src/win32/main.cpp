// The Windows program: a tray program that answers a fax server on TCP port
// 5555 with a destination from the user's Outlook contacts.
#include "front_end.h"
#include "address_book.h"

#include <commctrl.h>
#include <objbase.h>

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
        FrontEnd program(instance, kFaxServerPort, &OpenAddressBook);
        program.Logic().Form_Load();
        result = program.Logic().IsUnloaded() ? 1 : program.Run();
    }
    WSACleanup();
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}
