#include "outlook_table.h"

#include <algorithm>

namespace outlook {
namespace {
// The message class's MAPI property (PR_MESSAGE_CLASS, Unicode) in a DASL
// filter: a contact item's is "IPM.Contact", or "IPM.Contact." and a custom
// form's name; a distribution list's is "IPM.DistList".
constexpr wchar_t kContactsFilter[] =
    L"@SQL=\"http://schemas.microsoft.com/mapi/proptag/0x001A001F\" = 'IPM.Contact'"
    L" OR \"http://schemas.microsoft.com/mapi/proptag/0x001A001F\" LIKE 'IPM.Contact.%'";
constexpr const wchar_t *kColumns[] = {L"EntryID", L"LastName", L"FirstName", L"CompanyName"};

Ref<> ContactsTable(Dispatcher &dispatcher, IDispatch *folder)
{
    const Variant filter = Variant::String(kContactsFilter);
    return AsObject(dispatcher.Call(folder, "folder", L"GetTable", DISPATCH_METHOD, {&filter}), IID_IDispatch,
                    "table");
}

long long RowCount(Dispatcher &dispatcher, IDispatch *table)
{
    return AsInteger(dispatcher.Call(table, "table", L"GetRowCount", DISPATCH_METHOD | DISPATCH_PROPERTYGET),
                     L"GetRowCount");
}

// A two-dimensional array of rows and columns, as GetArray answers.
class Rows {
public:
    Rows(const VARIANT &value, size_t expectedRows, size_t columns)
    {
        if (value.vt != (VT_ARRAY | VT_VARIANT) || !value.parray || SafeArrayGetDim(value.parray) != 2)
            throw StoreError("GetArray gave no array of rows (variant type " + std::to_string(value.vt) + ")");
        m_array = value.parray;
        LONG low[2], high[2];
        for (UINT d = 0; d < 2; ++d) {
            SafeArrayGetLBound(m_array, d + 1, &low[d]);
            SafeArrayGetUBound(m_array, d + 1, &high[d]);
        }
        const size_t first = size_t(high[0] - low[0] + 1), second = size_t(high[1] - low[1] + 1);
        // Rows first, as Outlook's examples index it; the other way round
        // only when that is what the sizes say.
        m_rowsFirst = !(first == columns && second == expectedRows && first != second);
        m_rows = m_rowsFirst ? first : second;
        m_columns = m_rowsFirst ? second : first;
        if (m_columns != columns)
            throw StoreError("GetArray gave " + std::to_string(m_columns) + " columns, not " + std::to_string(columns));
        if (FAILED(SafeArrayAccessData(m_array, reinterpret_cast<void **>(&m_cells))))
            throw StoreError("GetArray's array cannot be read");
        m_first = first;
    }
    ~Rows() { SafeArrayUnaccessData(m_array); }
    Rows(const Rows &) = delete;
    Rows &operator=(const Rows &) = delete;
    size_t Count() const { return m_rows; }
    // The leftmost index runs fastest in memory.
    const VARIANT &Cell(size_t row, size_t column) const
    {
        return m_rowsFirst ? m_cells[row + column * m_first] : m_cells[column + row * m_first];
    }

private:
    SAFEARRAY *m_array = nullptr;
    VARIANT *m_cells = nullptr;
    bool m_rowsFirst = true;
    size_t m_rows = 0, m_columns = 0, m_first = 0;
};
} // namespace

std::vector<TableRow> ReadContactsTable(Dispatcher &dispatcher, IDispatch *folder, long chunk)
{
    Ref<> table = ContactsTable(dispatcher, folder);
    {
        Ref<> columns = AsObject(dispatcher.Get(table.Get(), "table", L"Columns"), IID_IDispatch, "table's columns");
        dispatcher.Call(columns.Get(), "columns", L"RemoveAll", DISPATCH_METHOD);
        for (const wchar_t *name : kColumns) {
            const Variant column = Variant::String(name);
            dispatcher.Call(columns.Get(), "columns", L"Add", DISPATCH_METHOD, {&column});
        }
    }
    const long long total = RowCount(dispatcher, table.Get());
    std::vector<TableRow> rows;
    rows.reserve(size_t(std::max<long long>(total, 0)));
    // Never more rows than remain: Outlook 2007 refuses a MaxRows beyond the
    // table's rows.
    while ((long long)rows.size() < total) {
        const long wanted = long(std::min<long long>(chunk, total - (long long)rows.size()));
        const Variant maxRows = Variant::Long(wanted);
        const Variant answer = dispatcher.Call(table.Get(), "table", L"GetArray", DISPATCH_METHOD, {&maxRows});
        const Rows got(answer, size_t(wanted), 4);
        if (got.Count() == 0)
            break; // rows removed since the count: the table has ended
        for (size_t r = 0; r < got.Count(); ++r) {
            TableRow row;
            const Text id = AsText(got.Cell(r, 0), L"EntryID");
            row.entryId.assign(id.begin(), id.end());
            row.lastName = AsText(got.Cell(r, 1), L"LastName");
            row.firstName = AsText(got.Cell(r, 2), L"FirstName");
            row.companyName = AsText(got.Cell(r, 3), L"CompanyName");
            if (row.entryId.empty())
                throw StoreError("the table gave a contact without an EntryID");
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

FolderStamp ReadFolderStamp(Dispatcher &dispatcher, IDispatch *folder)
{
    Ref<> table = ContactsTable(dispatcher, folder);
    const Variant property = Variant::String(L"[LastModificationTime]");
    const Variant descending = Variant::Bool(true);
    dispatcher.Call(table.Get(), "table", L"Sort", DISPATCH_METHOD, {&property, &descending});
    FolderStamp stamp;
    stamp.count = RowCount(dispatcher, table.Get());
    if (stamp.count == 0)
        return stamp;
    // The default columns of any folder's table: EntryID first,
    // LastModificationTime fourth.
    const Variant one = Variant::Long(1);
    const Variant answer = dispatcher.Call(table.Get(), "table", L"GetArray", DISPATCH_METHOD, {&one});
    if (answer.vt != (VT_ARRAY | VT_VARIANT) || !answer.parray || SafeArrayGetDim(answer.parray) != 2)
        throw StoreError("GetArray gave no array of rows");
    LONG high[2] = {}, low[2] = {};
    for (UINT d = 0; d < 2; ++d) {
        SafeArrayGetLBound(answer.parray, d + 1, &low[d]);
        SafeArrayGetUBound(answer.parray, d + 1, &high[d]);
    }
    const size_t first = size_t(high[0] - low[0] + 1), second = size_t(high[1] - low[1] + 1);
    const bool rowsFirst = first == 1; // one row asked for
    const size_t columns = rowsFirst ? second : first;
    if (columns < 4 || (rowsFirst ? first : second) != 1)
        throw StoreError("the table's default columns are not there");
    VARIANT *cells = nullptr;
    if (FAILED(SafeArrayAccessData(answer.parray, reinterpret_cast<void **>(&cells))))
        throw StoreError("GetArray's array cannot be read");
    const VARIANT &id = cells[0];
    const VARIANT &time = cells[3]; // one row: the columns lie one after the other either way
    const Text idText = id.vt == VT_BSTR ? AsText(id, L"EntryID") : Text();
    stamp.newestId.assign(idText.begin(), idText.end());
    stamp.newestTime = time.vt == VT_DATE ? time.date : 0;
    const bool usable = id.vt == VT_BSTR && time.vt == VT_DATE;
    SafeArrayUnaccessData(answer.parray);
    if (!usable)
        throw StoreError("the table's newest row has no EntryID and time");
    return stamp;
}
} // namespace outlook
