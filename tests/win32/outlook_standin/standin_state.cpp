#include "standin_state.h"

#include "standin_events.h"
#include "standin_ids.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace standin {
namespace {
struct State {
    std::shared_ptr<const Snapshot> snapshot = std::make_shared<Snapshot>();
    std::wstring contactsPath;
    std::wstring contactForm;
    WIN32_FILE_ATTRIBUTE_DATA contactsFile = {};
    std::wstring journalPath;
    uint64_t lastId = 0;
    double lastStamp = 0;
};
State g_state;
std::atomic<long> g_calls{0};

std::wstring Setting(const wchar_t *name)
{
    wchar_t value[1024];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

Value Parse(const std::string &field)
{
    Value value;
    if (field.empty() || field[0] != '=') {
        value.text = Wide(field);
    } else if (field == "=empty") {
        value.type = VT_EMPTY;
    } else if (field == "=null") {
        value.type = VT_NULL;
    } else if (field == "=object") {
        value.type = VT_DISPATCH;
    } else if (field.rfind("=i4:", 0) == 0) {
        value.type = VT_I4;
        value.number = std::stol(field.substr(4));
    } else if (field.rfind("=text:", 0) == 0) {
        value.text = Wide(field.substr(6));
    } else {
        value.text = Wide(field);
    }
    return value;
}

std::shared_ptr<Snapshot> Read(const std::wstring &path)
{
    auto snapshot = std::make_shared<Snapshot>();
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("!fail ", 0) == 0) {
            snapshot->failing.insert(Wide(line.substr(6)));
            continue;
        }
        if (line.rfind("!without ", 0) == 0) {
            snapshot->without.insert(Wide(line.substr(9)));
            continue;
        }
        Row row;
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < kFieldCount && std::getline(fields, field, '\t'); ++i) {
            row.fields[size_t(i)] = Parse(field);
            if (i == kClass && !field.empty() && field[0] != '=') {
                // A plain class code: a number.
                row.fields[kClass].type = VT_I4;
                row.fields[kClass].number = std::stol(field);
            }
        }
        snapshot->rows.push_back(std::move(row));
    }
    return snapshot;
}

// Now as an OLE date, later than any stamp handed out before.
double Stamp()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const double ticks = double((uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    double date = ticks / 864000000000.0 - 109205.0; // days from 1601-01-01 to 1899-12-30
    if (date <= g_state.lastStamp)
        date = g_state.lastStamp + 1.0 / 86400000.0;
    return g_state.lastStamp = date;
}

std::string Key(const Row &row, int fields)
{
    std::string key;
    for (int i = 0; i < fields; ++i) {
        const Value &value = row.fields[size_t(i)];
        key += std::to_string(value.type) + ":" + std::to_string(value.number) + ":" + Narrow(value.text) + "\t";
    }
    return key;
}

// Gives the new snapshot's rows the identities of the old one's they continue.
void Identify(const Snapshot &old, Snapshot &now, std::vector<uint64_t> &added, std::vector<uint64_t> &changed,
              size_t &removed)
{
    const double stamp = Stamp();
    std::vector<bool> taken(old.rows.size(), false), done(now.rows.size(), false);
    const auto match = [&](int fields, bool change) {
        std::unordered_map<std::string, std::vector<size_t>> free;
        for (size_t i = old.rows.size(); i-- > 0;)
            if (!taken[i])
                free[Key(old.rows[i], fields)].push_back(i);
        for (size_t i = 0; i < now.rows.size(); ++i) {
            if (done[i])
                continue;
            auto found = free.find(Key(now.rows[i], fields));
            if (found == free.end() || found->second.empty())
                continue;
            const size_t from = found->second.back();
            found->second.pop_back();
            taken[from] = done[i] = true;
            now.rows[i].id = old.rows[from].id;
            now.rows[i].created = old.rows[from].created;
            now.rows[i].modified = change ? stamp : old.rows[from].modified;
            if (change)
                changed.push_back(now.rows[i].id);
        }
    };
    match(kFieldCount, false);   // unchanged
    match(kCompanyName + 1, true); // same class and names: a new number
    for (size_t i = 0; i < now.rows.size() && i < old.rows.size(); ++i) { // renamed in its place
        if (done[i] || taken[i])
            continue;
        taken[i] = done[i] = true;
        now.rows[i].id = old.rows[i].id;
        now.rows[i].created = old.rows[i].created;
        now.rows[i].modified = stamp;
        changed.push_back(now.rows[i].id);
    }
    for (size_t i = 0; i < now.rows.size(); ++i) {
        if (done[i])
            continue;
        now.rows[i].id = ++g_state.lastId;
        now.rows[i].created = now.rows[i].modified = stamp;
        added.push_back(now.rows[i].id);
    }
    removed = 0;
    for (bool was : taken)
        removed += !was;
    for (size_t i = 0; i < now.rows.size(); ++i)
        now.byId[now.rows[i].id] = i;
}
} // namespace

std::wstring Wide(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring &wide)
{
    if (wide.empty())
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::shared_ptr<const Snapshot> Current() { return g_state.snapshot; }

void Refresh()
{
    g_state.journalPath = Setting(L"Journal");
    const std::wstring path = Setting(L"Contacts");
    const std::wstring form = Setting(L"ContactForm");
    WIN32_FILE_ATTRIBUTE_DATA file = {};
    if (!path.empty())
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &file);
    const bool same = path == g_state.contactsPath && form == g_state.contactForm
                      && CompareFileTime(&file.ftLastWriteTime, &g_state.contactsFile.ftLastWriteTime) == 0
                      && file.nFileSizeLow == g_state.contactsFile.nFileSizeLow
                      && file.nFileSizeHigh == g_state.contactsFile.nFileSizeHigh;
    if (same)
        return;
    g_state.contactsPath = path;
    g_state.contactForm = form;
    g_state.contactsFile = file;
    std::shared_ptr<Snapshot> now = path.empty() ? std::make_shared<Snapshot>() : Read(path);
    now->contactForm = form.empty() ? L"IPM.Contact" : form;
    std::vector<uint64_t> added, changed;
    size_t removed = 0;
    Identify(*g_state.snapshot, *now, added, changed, removed);
    g_state.snapshot = now;
    FireEvents(added, changed, removed);
}

std::wstring EntryId(uint64_t id)
{
    wchar_t text[64];
    std::swprintf(text, 64, L"00000000C0A7E5E1D0C1A5501E0000000700%016llX", static_cast<unsigned long long>(id));
    return text;
}

bool ParseEntryId(const std::wstring &text, uint64_t *id)
{
    const std::wstring prefix = L"00000000C0A7E5E1D0C1A5501E0000000700";
    if (text.size() != prefix.size() + 16 || _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) != 0)
        return false;
    wchar_t *end = nullptr;
    *id = std::wcstoull(text.c_str() + prefix.size(), &end, 16);
    return end && *end == 0;
}

const std::wstring &FolderEntryId()
{
    static const std::wstring id = L"00000000C0A7E5E1D0C1A5501E0000000100000000000000000A";
    return id;
}

std::wstring MessageClass(const Snapshot &snapshot, const Row &row)
{
    const Value &value = row.fields[kClass];
    if (value.type != VT_I4)
        return L"IPM";
    switch (value.number) {
    case 40: return snapshot.contactForm;
    case 69: return L"IPM.DistList";
    case 43: return L"IPM.Note";
    default: return L"IPM.Class" + std::to_wstring(value.number);
    }
}

bool PropertyValue(const Snapshot &snapshot, const Row &row, const std::wstring &name, Value *value)
{
    static const wchar_t *const fields[kFieldCount] = {L"Class", L"LastName", L"FirstName", L"CompanyName",
                                                        L"BusinessFaxNumber", L"HomeFaxNumber", L"OtherFaxNumber"};
    for (int i = 0; i < kFieldCount; ++i) {
        if (_wcsicmp(name.c_str(), fields[i]) == 0) {
            *value = row.fields[size_t(i)];
            return true;
        }
    }
    *value = Value{};
    if (_wcsicmp(name.c_str(), L"EntryID") == 0)
        value->text = EntryId(row.id);
    else if (_wcsicmp(name.c_str(), L"MessageClass") == 0)
        value->text = MessageClass(snapshot, row);
    else if (_wcsicmp(name.c_str(), L"Subject") == 0)
        value->text = row.fields[kFirstName].text + L" " + row.fields[kLastName].text;
    else if (_wcsicmp(name.c_str(), L"CreationTime") == 0 || _wcsicmp(name.c_str(), L"LastModificationTime") == 0) {
        value->type = VT_DATE;
        value->date = _wcsicmp(name.c_str(), L"CreationTime") == 0 ? row.created : row.modified;
    } else
        return false;
    return true;
}

void Journal(const std::string &line)
{
    if (g_state.journalPath.empty())
        return;
    HANDLE file = CreateFileW(g_state.journalPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

void Count() { ++g_calls; }
long ReceivedCalls() { return g_calls.load(); }

HRESULT Fail(EXCEPINFO *exception, const std::wstring &description, HRESULT code)
{
    if (exception) {
        *exception = {};
        exception->bstrSource = SysAllocString(L"Outlook stand-in");
        exception->bstrDescription = SysAllocString(description.c_str());
        exception->scode = code;
    }
    return DISP_E_EXCEPTION;
}

bool NumberArgument(DISPPARAMS *parameters, long *number)
{
    if (!parameters || parameters->cArgs != 1)
        return false;
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &parameters->rgvarg[0], 0, VT_I4)))
        return false;
    *number = converted.lVal;
    return true;
}

VARIANT *Argument(DISPPARAMS *parameters, UINT position)
{
    if (!parameters || position >= parameters->cArgs)
        return nullptr;
    VARIANT *argument = &parameters->rgvarg[parameters->cArgs - 1 - position];
    if (argument->vt == (VT_VARIANT | VT_BYREF))
        argument = argument->pvarVal;
    if (argument->vt == VT_ERROR && argument->scode == DISP_E_PARAMNOTFOUND)
        return nullptr;
    return argument;
}
} // namespace standin
