#include "registration.h"

#include "standin_ids.h"

#include <windows.h>
#include <oleauto.h>

#include <stdexcept>

namespace standin {
namespace {
std::runtime_error Failure(const char *what, long code)
{
    return std::runtime_error(std::string(what) + " failed (" + std::to_string(code) + ")");
}

void SetValue(HKEY root, const std::wstring &key, const wchar_t *name, const std::wstring &value)
{
    const LSTATUS status = RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                                           DWORD((value.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS)
        throw Failure("writing the registry", status);
}

void DeleteTree(HKEY root, const std::wstring &key)
{
    const LSTATUS status = RegDeleteTreeW(root, key.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        throw Failure("deleting from the registry", status);
    RegDeleteKeyW(root, key.c_str());
}

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClassIdText;

void SetSetting(const wchar_t *name, const std::wstring &value)
{
    if (value.empty()) {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name);
        return;
    }
    SetValue(HKEY_CURRENT_USER, kSettingsKey, name, value);
}
} // namespace

// The COM service, which an out-of-process activation needs. In a new Wine
// prefix COM's own start of it at the first activation was seen to fail; so
// it is started here and waited for.
void StartComService()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        throw Failure("opening the service manager", long(GetLastError()));
    SC_HANDLE service = OpenServiceW(manager, L"RpcSs", SERVICE_START | SERVICE_QUERY_STATUS);
    if (!service) {
        CloseServiceHandle(manager);
        throw Failure("opening the RpcSs service", long(GetLastError()));
    }
    const ULONGLONG deadline = GetTickCount64() + 60000;
    SERVICE_STATUS status = {};
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING
           && GetTickCount64() < deadline) {
        if (status.dwCurrentState == SERVICE_STOPPED)
            StartServiceW(service, 0, nullptr);
        Sleep(50); // polled against the deadline above
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (status.dwCurrentState != SERVICE_RUNNING)
        throw Failure("starting the RpcSs service", long(status.dwCurrentState));
}

std::wstring OwnFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

void Register(Server server, const std::wstring &folder)
{
    const std::wstring serverFile = folder + L"\\" + kServerFile;
    SetValue(HKEY_CLASSES_ROOT, kProgId, nullptr, L"Corvane Tesk Outlook stand-in");
    SetValue(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, kClassIdText);
    SetValue(HKEY_CLASSES_ROOT, kClassKey, nullptr, L"Corvane Tesk Outlook stand-in");
    SetValue(HKEY_CLASSES_ROOT, kClassKey + L"\\ProgID", nullptr, kProgId);
    if (server == Server::OutOfProcess) {
        StartComService();
        DeleteTree(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32");
        SetValue(HKEY_CLASSES_ROOT, kClassKey + L"\\LocalServer32", nullptr, L"\"" + serverFile + L"\"");
    } else {
        DeleteTree(HKEY_CLASSES_ROOT, kClassKey + L"\\LocalServer32");
        SetValue(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", nullptr, folder + L"\\" + kInProcessFile);
        SetValue(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    }
    // The type library, built into the server, makes its interfaces known
    // for marshalling (each is given the automation marshaller).
    ITypeLib *library = nullptr;
    const HRESULT hr = LoadTypeLibEx(serverFile.c_str(), REGKIND_REGISTER, &library);
    if (FAILED(hr))
        throw Failure("registering the type library", hr);
    library->Release();
}

void Unregister()
{
    DeleteTree(HKEY_CLASSES_ROOT, kProgId);
    DeleteTree(HKEY_CLASSES_ROOT, kClassKey);
}

void SetContactsFile(const std::wstring &path) { SetSetting(L"Contacts", path); }
void SetJournalFile(const std::wstring &path) { SetSetting(L"Journal", path); }
void SetContactForm(const std::wstring &messageClass) { SetSetting(L"ContactForm", messageClass); }
} // namespace standin
