#include "standin_fixture.h"
#include "standin_ids.h"

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {
std::wstring NewFolder()
{
    static int made = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"corvane-outlook-" + std::to_wstring(GetCurrentProcessId()) + L"-"
                                + std::to_wstring(++made);
    std::filesystem::create_directories(folder);
    return folder;
}
} // namespace

StandIn::StandIn(standin::Server server) : m_folder(NewFolder())
{
    // The last fixture's server may still be ending on a loaded machine: a
    // test meeting it would be served by its settings and journal, or have
    // its activation refused. Bounded, so that a server some test leaves up
    // costs each later fixture seconds, not the run its time limit.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ProcessRunning(standin::kServerFile) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); // for ReceivedCalls()
    standin::Register(server);
    standin::SetJournalFile(m_folder + L"\\journal.txt");
    Serve(std::vector<std::string>{});
}

StandIn::~StandIn()
{
    if (m_counter)
        m_counter->Release();
    standin::SetContactForm({});
    standin::SetContactsFile({});
    standin::SetJournalFile({});
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
    CoUninitialize();
}

// Each version goes to a file of its own name, so that the stand-in sees the
// change however close in time the two writes are.
void StandIn::Serve(const std::vector<std::string> &lines)
{
    const std::wstring previous = m_contacts;
    m_contacts = m_folder + L"\\contacts-" + std::to_wstring(++m_version) + L".tsv";
    {
        std::ofstream out(std::filesystem::path(m_contacts), std::ios::binary);
        for (const std::string &line : always)
            out << line << '\n';
        for (const std::string &line : lines)
            out << line << '\n';
    }
    standin::SetContactsFile(m_contacts);
    if (!previous.empty())
        DeleteFileW(previous.c_str());
}

void StandIn::ServeContacts(const std::vector<FakeContact> &items)
{
    std::vector<std::string> lines;
    for (const FakeContact &item : items)
        lines.push_back(Line(item));
    Serve(lines);
}

std::vector<std::string> StandIn::Calls() const
{
    std::vector<std::string> lines;
    std::ifstream in(std::filesystem::path(m_folder + L"\\journal.txt"), std::ios::binary);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

long StandIn::ReceivedCalls()
{
    if (!m_counter) {
        CLSID clsid;
        if (FAILED(CLSIDFromProgID(L"Outlook.Application", &clsid))
            || FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       reinterpret_cast<void **>(&m_counter))))
            return -1;
    }
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"ReceivedCalls")};
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    if (FAILED(m_counter->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))
        || FAILED(m_counter->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                    nullptr)))
        return -1;
    return result.lVal;
}

std::string Line(const FakeContact &item)
{
    return std::to_string(item.itemClass) + "\t" + ToUtf8(item.lastName) + "\t" + ToUtf8(item.firstName) + "\t"
           + ToUtf8(item.companyName) + "\t" + ToUtf8(item.businessFax) + "\t" + ToUtf8(item.homeFax) + "\t"
           + ToUtf8(item.otherFax);
}

bool ProcessRunning(const wchar_t *name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szExeFile, name) == 0;
    CloseHandle(snapshot);
    return found;
}
