#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include "win32_defs.h"

#include <commctrl.h>
#include <objbase.h>

// The front end's tests run on one thread that is set up like the program's:
// a COM apartment, Winsock and the common controls.
int main(int argc, char **argv)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    doctest::Context context(argc, argv);
    const int result = context.run();
    WSACleanup();
    CoUninitialize();
    return result;
}
