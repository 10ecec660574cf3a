// The folder's Table: its items as rows (filtered by the restriction given
// to GetTable), its columns (the default ones of any folder, or those named),
// read a row at a time or many at a time, as Outlook documents them.
#include "standin_object.h"

#include <algorithm>
#include <cwctype>

namespace standin {
namespace {
// One term of a filter: the message class equal to a text, or like a pattern
// in which "%" stands for any text.
struct Term {
    bool like = false;
    std::wstring text;
};

std::wstring Lower(std::wstring text)
{
    for (wchar_t &c : text)
        c = wchar_t(std::towlower(c));
    return text;
}

std::wstring Trim(const std::wstring &text)
{
    const size_t first = text.find_first_not_of(L" \t()");
    const size_t last = text.find_last_not_of(L" \t()");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

bool Like(const std::wstring &text, const std::wstring &pattern)
{
    const size_t star = pattern.find(L'%');
    if (star == std::wstring::npos)
        return text == pattern;
    if (text.compare(0, star, pattern, 0, star) != 0)
        return false;
    const std::wstring rest = pattern.substr(star + 1);
    for (size_t from = star; from <= text.size(); ++from)
        if (Like(text.substr(from), rest))
            return true;
    return false;
}

// Filters on the message class, in Jet ("[MessageClass] = 'IPM.Contact'") or
// DASL ("@SQL=" and the property by its MAPI tag, with "=" or "like"), terms
// joined by "or". Anything else is refused, as Outlook refuses a condition it
// cannot parse.
bool ParseFilter(const std::wstring &filter, std::vector<Term> *terms)
{
    std::wstring rest = Trim(filter);
    if (rest.empty())
        return true;
    const bool dasl = Lower(rest.substr(0, 5)) == L"@sql=";
    if (dasl)
        rest = rest.substr(5);
    const std::wstring lower = Lower(rest);
    size_t at = 0;
    while (at < rest.size()) {
        // The term runs to the next " or " outside quotes.
        size_t end = at;
        bool quoted = false;
        for (; end < rest.size(); ++end) {
            if (rest[end] == L'\'')
                quoted = !quoted;
            if (!quoted && lower.compare(end, 4, L" or ") == 0)
                break;
        }
        const std::wstring term = Trim(rest.substr(at, end - at));
        at = end < rest.size() ? end + 4 : end;
        const std::wstring termLower = Lower(term);
        static const std::wstring daslNames[] = {L"\"http://schemas.microsoft.com/mapi/proptag/0x001a001f\"",
                                                 L"\"http://schemas.microsoft.com/mapi/proptag/0x001a001e\""};
        size_t nameLength = 0;
        if (dasl) {
            for (const std::wstring &name : daslNames)
                if (termLower.rfind(name, 0) == 0)
                    nameLength = name.size();
        } else if (termLower.rfind(L"[messageclass]", 0) == 0) {
            nameLength = 14;
        }
        if (!nameLength)
            return false;
        std::wstring operation = Trim(termLower.substr(nameLength));
        Term parsed;
        if (operation.rfind(L"=", 0) == 0) {
            operation = Trim(operation.substr(1));
        } else if (dasl && operation.rfind(L"like ", 0) == 0) {
            parsed.like = true;
            operation = Trim(operation.substr(5));
        } else {
            return false;
        }
        if (operation.size() < 2 || operation.front() != L'\'' || operation.back() != L'\'')
            return false;
        for (size_t i = 1; i + 1 < operation.size(); ++i) {
            parsed.text += operation[i];
            if (operation[i] == L'\'' && operation[i + 1] == L'\'')
                ++i;
        }
        terms->push_back(parsed);
    }
    return true;
}

struct TableState {
    std::shared_ptr<const Snapshot> snapshot;
    std::vector<size_t> rows; // into the snapshot, in the table's order
    // The default columns of a Contacts folder's table.
    std::vector<std::wstring> columns = {L"EntryID",      L"Subject",   L"CreationTime", L"LastModificationTime",
                                         L"MessageClass", L"FirstName", L"LastName",     L"CompanyName"};
    size_t current = 0;
};

HRESULT Number(long number, VARIANT *result)
{
    Value value;
    value.type = VT_I4;
    value.number = number;
    return Put(value, result);
}

class Column final : public Object<IDispatch> {
public:
    explicit Column(std::wstring name) : Object("Column", {L"Name"}), m_name(std::move(name)) {}

protected:
    HRESULT Answer(int, DISPPARAMS *, VARIANT *result, EXCEPINFO *) override
    {
        Value value;
        value.text = m_name;
        return Put(value, result);
    }

private:
    std::wstring m_name;
};

class Columns final : public Object<IDispatch> {
public:
    explicit Columns(std::shared_ptr<TableState> state)
        : Object("Columns", {L"Add", L"RemoveAll", L"Remove", L"Count"}), m_state(std::move(state))
    {
    }

protected:
    HRESULT Answer(int member, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) override
    {
        std::vector<std::wstring> &columns = m_state->columns;
        switch (member) {
        case 0: {
            const VARIANT *name = Argument(parameters, 0);
            if (!name || name->vt != VT_BSTR || !name->bstrVal)
                return DISP_E_TYPEMISMATCH;
            Value ignored;
            if (!PropertyValue(*m_state->snapshot, Row{}, name->bstrVal, &ignored))
                return Fail(exception, std::wstring(L"The property \"") + name->bstrVal + L"\" is unknown.");
            columns.push_back(name->bstrVal);
            return Hand(new Column(name->bstrVal), result);
        }
        case 1: columns.clear(); return S_OK;
        case 2: {
            long index = 0;
            if (!NumberArgument(parameters, &index) || index < 1 || size_t(index) > columns.size())
                return Fail(exception, L"Array index out of bounds.");
            columns.erase(columns.begin() + (index - 1));
            return S_OK;
        }
        default: return Number(long(columns.size()), result);
        }
    }

private:
    std::shared_ptr<TableState> m_state;
};

class TableRow final : public Object<IDispatch> {
public:
    TableRow(std::shared_ptr<TableState> state, size_t row)
        : Object("Row", {L"Item", L"GetValues"}), m_state(std::move(state)), m_row(row)
    {
    }

protected:
    HRESULT Answer(int member, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) override
    {
        const std::vector<std::wstring> &columns = m_state->columns;
        const Row &row = m_state->snapshot->rows[m_row];
        Value value;
        if (member == 0) {
            const VARIANT *index = Argument(parameters, 0);
            if (index && index->vt == VT_BSTR) {
                for (const std::wstring &column : columns)
                    if (_wcsicmp(column.c_str(), index->bstrVal) == 0 && PropertyValue(*m_state->snapshot, row, column, &value))
                        return Put(value, result);
                return Fail(exception, L"The column is not in the table.");
            }
            long position = 0;
            if (!NumberArgument(parameters, &position) || position < 1 || size_t(position) > columns.size())
                return Fail(exception, L"Array index out of bounds.");
            PropertyValue(*m_state->snapshot, row, columns[size_t(position - 1)], &value);
            return Put(value, result);
        }
        if (!result)
            return S_OK;
        SAFEARRAY *array = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(columns.size()));
        for (LONG i = 0; i < LONG(columns.size()); ++i) {
            VARIANT cell;
            PropertyValue(*m_state->snapshot, row, columns[size_t(i)], &value);
            Put(value, &cell);
            SafeArrayPutElement(array, &i, &cell);
            VariantClear(&cell);
        }
        VariantInit(result);
        result->vt = VT_ARRAY | VT_VARIANT;
        result->parray = array;
        return S_OK;
    }

private:
    std::shared_ptr<TableState> m_state;
    size_t m_row;
};

enum TableMember { kGetArray, kEndOfTable, kGetNextRow, kGetRowCount, kMoveToStart, kSort, kColumns };

class Table final : public Object<IDispatch> {
public:
    explicit Table(std::shared_ptr<TableState> state)
        : Object("Table", {L"GetArray", L"EndOfTable", L"GetNextRow", L"GetRowCount", L"MoveToStart", L"Sort", L"Columns"},
                 state->snapshot),
          m_state(std::move(state))
    {
    }

protected:
    HRESULT Answer(int member, DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception) override
    {
        TableState &state = *m_state;
        const size_t total = state.rows.size();
        switch (member) {
        case kGetArray: return GetArray(parameters, result, exception);
        case kEndOfTable:
            if (result) {
                VariantInit(result);
                result->vt = VT_BOOL;
                result->boolVal = state.current >= total ? VARIANT_TRUE : VARIANT_FALSE;
            }
            return S_OK;
        case kGetNextRow:
            if (state.current >= total) {
                if (result) {
                    VariantInit(result);
                    result->vt = VT_DISPATCH;
                    result->pdispVal = nullptr;
                }
                return S_OK;
            }
            return Hand(new TableRow(m_state, state.rows[state.current++]), result);
        case kGetRowCount: return Number(long(total), result);
        case kMoveToStart: state.current = 0; return S_OK;
        case kSort: return Sort(parameters, exception);
        default: return Hand(new Columns(m_state), result);
        }
    }

private:
    // Rows from the current one on, at most MaxRows, as an array indexed
    // (row, column); MaxRows beyond the table's rows is refused, as Outlook
    // 2007 refuses it.
    HRESULT GetArray(DISPPARAMS *parameters, VARIANT *result, EXCEPINFO *exception)
    {
        TableState &state = *m_state;
        long wanted = 0;
        if (!NumberArgument(parameters, &wanted))
            return DISP_E_TYPEMISMATCH;
        if (wanted < 1 || size_t(wanted) > state.rows.size())
            return Fail(exception, L"Could not complete the operation. One or more parameter values are not valid.",
                        E_INVALIDARG);
        const size_t rows = std::min(size_t(wanted), state.rows.size() - state.current);
        const size_t columns = state.columns.size();
        SAFEARRAYBOUND bounds[2] = {{ULONG(rows), 0}, {ULONG(columns), 0}};
        SAFEARRAY *array = SafeArrayCreate(VT_VARIANT, 2, bounds);
        VARIANT *cells = nullptr;
        SafeArrayAccessData(array, reinterpret_cast<void **>(&cells));
        Value value;
        for (size_t r = 0; r < rows; ++r) {
            const Row &row = state.snapshot->rows[state.rows[state.current + r]];
            for (size_t c = 0; c < columns; ++c) {
                PropertyValue(*state.snapshot, row, state.columns[c], &value);
                Put(value, &cells[r + c * rows]); // the leftmost index runs fastest
            }
        }
        SafeArrayUnaccessData(array);
        state.current += rows;
        if (!result) {
            SafeArrayDestroy(array);
            return S_OK;
        }
        VariantInit(result);
        result->vt = VT_ARRAY | VT_VARIANT;
        result->parray = array;
        return S_OK;
    }

    HRESULT Sort(DISPPARAMS *parameters, EXCEPINFO *exception)
    {
        TableState &state = *m_state;
        const VARIANT *property = Argument(parameters, 0);
        if (!property || property->vt != VT_BSTR || !property->bstrVal)
            return DISP_E_TYPEMISMATCH;
        std::wstring name = property->bstrVal;
        if (name.size() > 2 && name.front() == L'[' && name.back() == L']')
            name = name.substr(1, name.size() - 2);
        Value probe;
        if (!PropertyValue(*state.snapshot, Row{}, name, &probe) || _wcsicmp(name.c_str(), L"EntryID") == 0)
            return Fail(exception, L"The property \"" + name + L"\" cannot be sorted on.");
        VARIANT converted;
        VariantInit(&converted);
        const VARIANT *descending = Argument(parameters, 1);
        const bool down = descending && SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT *>(descending), 0, VT_BOOL))
                          && converted.boolVal != VARIANT_FALSE;
        // Each row's key once, then the rows by their keys.
        const Snapshot &snapshot = *state.snapshot;
        struct Keyed {
            double date;
            std::wstring text;
            size_t row;
        };
        std::vector<Keyed> keyed;
        keyed.reserve(state.rows.size());
        for (size_t row : state.rows) {
            Value value;
            PropertyValue(snapshot, snapshot.rows[row], name, &value);
            keyed.push_back({value.date, value.type == VT_DATE ? std::wstring() : value.text, row});
        }
        std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed &a, const Keyed &b) {
            const bool less = a.date < b.date || (a.date == b.date && a.text < b.text);
            const bool more = b.date < a.date || (a.date == b.date && b.text < a.text);
            return down ? more : less;
        });
        for (size_t i = 0; i < keyed.size(); ++i)
            state.rows[i] = keyed[i].row;
        state.current = 0;
        return S_OK;
    }

    std::shared_ptr<TableState> m_state;
};
} // namespace

HRESULT NewTable(const VARIANT *filter, VARIANT *result, EXCEPINFO *exception)
{
    auto state = std::make_shared<TableState>();
    state->snapshot = Current();
    std::vector<Term> terms;
    if (filter && filter->vt != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    if (!ParseFilter(filter && filter->bstrVal ? filter->bstrVal : L"", &terms))
        return Fail(exception, L"Cannot parse condition. Error at \"" + std::wstring(filter->bstrVal) + L"\".");
    const Snapshot &snapshot = *state->snapshot;
    for (size_t i = 0; i < snapshot.rows.size(); ++i) {
        const std::wstring messageClass = Lower(MessageClass(snapshot, snapshot.rows[i]));
        bool keep = terms.empty();
        for (const Term &term : terms)
            keep = keep || (term.like ? Like(messageClass, Lower(term.text)) : messageClass == Lower(term.text));
        if (keep)
            state->rows.push_back(i);
    }
    return Hand(new Table(std::move(state)), result);
}
} // namespace standin
