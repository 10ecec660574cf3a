// The stand-in as an out-of-process server (LocalServer32), as Outlook is.
// COM starts it on the first activation; it serves every client until the
// last object it handed out has been released, then withdraws its class and
// ends, so that no process is left behind.
#include "standin_ids.h"
#include "standin_objects.h"
#include "standin_state.h"

#include <windows.h>

namespace {
constexpr UINT kIdle = WM_APP + 1;
constexpr UINT kUnusedMilliseconds = 30000;
constexpr UINT kLookMilliseconds = 100;
DWORD g_thread = 0;

void PostIdle()
{
    PostThreadMessageW(g_thread, kIdle, 0, 0);
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    g_thread = GetCurrentThreadId();
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // the thread's queue, before anyone posts
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    standin::SetIdleHandler(PostIdle);
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(standin::kClassId, standin::Factory(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie))) {
        CoUninitialize();
        return 2;
    }
    // A server started for a client that then never came ends on its own.
    const UINT_PTR unused = SetTimer(nullptr, 0, kUnusedMilliseconds, nullptr);
    // Changes of the contacts file are taken up on their own too, as Outlook
    // takes up changes made elsewhere, and told to the collections' events.
    const UINT_PTR look = SetTimer(nullptr, 0, kLookMilliseconds, nullptr);
    bool registered = true;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got < 0)
            break;
        // Wine may post a quit message of its own to a new process in a new
        // prefix; the server ends only on its own terms below.
        if (got == 0)
            continue;
        if (!message.hwnd && message.message == WM_TIMER && message.wParam == look) {
            standin::Refresh();
            continue;
        }
        const bool idleCheck = !message.hwnd
                               && (message.message == kIdle || (message.message == WM_TIMER && message.wParam == unused));
        if (!idleCheck) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            continue;
        }
        if (standin::LiveObjects() != 0)
            continue;
        // No new client from here on; one that took the class just before
        // is served until it lets go of its objects too.
        if (registered) {
            CoRevokeClassObject(cookie);
            registered = false;
        }
        if (standin::LiveObjects() == 0)
            break;
    }
    if (registered)
        CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}
