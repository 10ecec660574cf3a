#pragma once

// Reading a Contacts folder in bulk through Outlook's Table (Outlook 2007 and
// later): the contact items, by a filter on their message class, many rows a
// call.
#include "outlook_dispatch.h"

#include <vector>

namespace outlook {
// What one contact item of the listing is: its identity and its names.
struct TableRow {
    std::wstring entryId;
    Text lastName, firstName, companyName;
};

// Every contact item of the folder (message class IPM.Contact or a custom
// contact form's IPM.Contact.*, not distribution lists), in the table's
// order: one table with the columns EntryID, LastName, FirstName and
// CompanyName, read with GetArray in chunks of at most `chunk` rows.
// StoreError when any table call fails.
std::vector<TableRow> ReadContactsTable(Dispatcher &dispatcher, IDispatch *folder, long chunk = 1000);

// A few values that change whenever a contact item is added, removed or
// changed: how many there are, and the most recent modification (its time
// and item). Read in a handful of calls.
struct FolderStamp {
    long long count = 0;
    std::wstring newestId;
    double newestTime = 0;
    bool operator==(const FolderStamp &) const = default;
};
FolderStamp ReadFolderStamp(Dispatcher &dispatcher, IDispatch *folder);
} // namespace outlook
