// The stand-in as an in-process server (InprocServer32), to compare the cost
// of a call within the process with one across processes.
#include "standin_ids.h"
#include "standin_objects.h"

#include <windows.h>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void **out)
{
    if (clsid != standin::kClassId) {
        *out = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return standin::Factory()->QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return standin::LiveObjects() == 0 ? S_OK : S_FALSE;
}
