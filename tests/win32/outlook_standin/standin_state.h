#pragma once

// What the stand-in serves: the items of its contacts file as last read, each
// with an identity that follows it from one version of the file to the next,
// and its journal and call count. Shared by all of its objects.
#include <windows.h>
#include <oleauto.h>

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace standin {
std::wstring Wide(const std::string &utf8);
std::string Narrow(const std::wstring &wide);

// One value of an item, as the file gives it.
struct Value {
    VARTYPE type = VT_BSTR;
    std::wstring text;
    long number = 0;
    double date = 0; // VT_DATE
};

enum Field { kClass, kLastName, kFirstName, kCompanyName, kBusinessFax, kHomeFax, kOtherFax, kFieldCount };

struct Row {
    std::array<Value, kFieldCount> fields;
    uint64_t id = 0;      // its identity, the source of its EntryID
    double created = 0;   // CreationTime
    double modified = 0;  // LastModificationTime: when the file last changed it
};

struct Snapshot {
    std::vector<Row> rows;
    std::set<std::wstring> failing; // member names
    std::set<std::wstring> without; // object kinds
    std::wstring contactForm;       // message class of contacts, "IPM.Contact" unless set
    std::unordered_map<uint64_t, size_t> byId;
};

// What was read last.
std::shared_ptr<const Snapshot> Current();
// Takes up changes of the settings and of the contacts file. An item keeps its
// identity when its line stays the same, or keeps its class and names (a new
// number), or else keeps its place in the file (renamed); other lines are new
// items. Fires the collections' events for what changed.
void Refresh();

std::wstring EntryId(uint64_t id);
bool ParseEntryId(const std::wstring &text, uint64_t *id);
const std::wstring &FolderEntryId();
// The message class of an item: by its class code.
std::wstring MessageClass(const Snapshot &snapshot, const Row &row);
// An item's value by a property name as a table column or item property names
// it; false for a name the stand-in does not know.
bool PropertyValue(const Snapshot &snapshot, const Row &row, const std::wstring &name, Value *value);

// The journal (when the settings name one) and the count of calls received:
// every name lookup, call, put and final release.
void Journal(const std::string &line);
void Count();
long ReceivedCalls();

HRESULT Fail(EXCEPINFO *exception, const std::wstring &description, HRESULT code = E_FAIL);
HRESULT Put(const Value &value, VARIANT *result);
bool NumberArgument(DISPPARAMS *parameters, long *number);
// The argument at a position counted from the first, as Invoke passes them
// (last first); null when absent or passed as missing.
VARIANT *Argument(DISPPARAMS *parameters, UINT position);
} // namespace standin
