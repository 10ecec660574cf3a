// The stand-in's table and identities answer as Outlook documents them, so
// that what the store is tested against is what it meets in Outlook:
// GetTable's default columns of a Contacts folder and its filter, GetArray's
// rows from the current one and its refusal of more rows than the table has
// (Outlook 2007), GetNextRow and EndOfTable, Sort resetting the current row,
// and GetItemFromID.
#include "outlook_dispatch.h"
#include "standin_fixture.h"

#include <doctest/doctest.h>

using namespace outlook;

namespace {
struct Session {
    Dispatcher d;
    Ref<> application, nameSpace, folder;
    Session()
    {
        CLSID clsid;
        REQUIRE(SUCCEEDED(CLSIDFromProgID(L"Outlook.Application", &clsid)));
        REQUIRE(SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, IID_IDispatch,
                                           reinterpret_cast<void **>(application.Out()))));
        const Variant mapi = Variant::String(L"MAPI"), ten = Variant::Long(10);
        nameSpace = AsObject(d.Call(application.Get(), "application", L"GetNamespace", DISPATCH_METHOD, {&mapi}),
                             IID_IDispatch, "namespace");
        folder = AsObject(d.Call(nameSpace.Get(), "namespace", L"GetDefaultFolder", DISPATCH_METHOD, {&ten}),
                          IID_IDispatch, "folder");
    }
    Ref<> Table(const wchar_t *filter = nullptr)
    {
        const Variant text = Variant::String(filter ? filter : L"");
        return AsObject(filter ? d.Call(folder.Get(), "folder", L"GetTable", DISPATCH_METHOD, {&text})
                               : d.Call(folder.Get(), "folder", L"GetTable", DISPATCH_METHOD),
                        IID_IDispatch, "table");
    }
    bool Ended(IDispatch *table)
    {
        const Variant ended = d.Get(table, "table", L"EndOfTable");
        REQUIRE(ended.vt == VT_BOOL);
        return ended.boolVal != VARIANT_FALSE;
    }
    long long Number(IDispatch *object, const wchar_t *member)
    {
        return AsInteger(d.Call(object, "table", member, DISPATCH_METHOD | DISPATCH_PROPERTYGET), member);
    }
    // GetArray's rows: the number of rows, and the text of column `column` of each.
    std::vector<std::string> Array(IDispatch *table, long rows, size_t column)
    {
        const Variant wanted = Variant::Long(rows);
        const Variant answer = d.Call(table, "table", L"GetArray", DISPATCH_METHOD, {&wanted});
        REQUIRE(answer.vt == (VT_ARRAY | VT_VARIANT));
        LONG high = -1, columns = -1;
        SafeArrayGetUBound(answer.parray, 1, &high);
        SafeArrayGetUBound(answer.parray, 2, &columns);
        std::vector<std::string> texts;
        for (LONG row = 0; row <= high; ++row) {
            LONG at[2] = {row, LONG(column)}; // as Basic indexes it: (row, column)
            Variant cell;
            SafeArrayGetElement(answer.parray, at, &cell);
            texts.push_back(ToUtf8(AsText(cell, L"cell")));
        }
        return texts;
    }
};
} // namespace

TEST_CASE("Outlook stand-in: the table answers as Outlook documents it")
{
    StandIn standIn(standin::Server::InProcess);
    standIn.Serve({"40\tA\ta\t\t1", "69\tTeam", "40\tB\tb\tCo\t2"});
    Session s;

    // A Contacts folder's default columns; every item a row.
    Ref<> all = s.Table();
    CHECK(s.Number(all.Get(), L"GetRowCount") == 3);
    Ref<> columns = AsObject(s.d.Get(all.Get(), "table", L"Columns"), IID_IDispatch, "columns");
    CHECK(AsInteger(s.d.Get(columns.Get(), "columns", L"Count"), L"Count") == 8);
    CHECK(s.Array(all.Get(), 3, 4) == std::vector<std::string>{"IPM.Contact", "IPM.DistList", "IPM.Contact"});
    s.d.Call(all.Get(), "table", L"MoveToStart", DISPATCH_METHOD);
    CHECK(s.Array(all.Get(), 3, 6) == std::vector<std::string>{"A", "Team", "B"}); // LastName, seventh

    // A filter on the message class, in Jet; rows from the current one on.
    Ref<> contacts = s.Table(L"[MessageClass] = 'IPM.Contact'");
    CHECK(s.Number(contacts.Get(), L"GetRowCount") == 2);
    CHECK_THROWS_AS(s.Array(contacts.Get(), 3, 6), StoreError); // more rows than the table has
    CHECK(s.Array(contacts.Get(), 1, 6) == std::vector<std::string>{"A"});
    CHECK_FALSE(s.Ended(contacts.Get()));
    CHECK(s.Array(contacts.Get(), 2, 6) == std::vector<std::string>{"B"}); // only what remains
    CHECK(s.Ended(contacts.Get()));
    CHECK(s.Array(contacts.Get(), 1, 6).empty());
    // A condition the stand-in does not understand is refused, never ignored.
    CHECK_THROWS_AS(s.Table(L"[LastName] = 'A'"), StoreError);

    // A rename makes the item the newest; Sort starts the table anew.
    standIn.Serve({"40\tA\ta\t\t1", "69\tTeam", "40\tB2\tb\tCo\t2"});
    Ref<> sorted = s.Table(L"@SQL=\"http://schemas.microsoft.com/mapi/proptag/0x001A001F\" LIKE 'IPM.Contact%'");
    s.Array(sorted.Get(), 1, 6);
    const Variant property = Variant::String(L"[LastModificationTime]"), descending = Variant::Bool(true);
    s.d.Call(sorted.Get(), "table", L"Sort", DISPATCH_METHOD, {&property, &descending});
    CHECK(s.Array(sorted.Get(), 2, 6) == std::vector<std::string>{"B2", "A"});

    // GetNextRow, then the row's EntryID finds the item.
    s.d.Call(sorted.Get(), "table", L"MoveToStart", DISPATCH_METHOD);
    Ref<> row = AsObject(s.d.Call(sorted.Get(), "table", L"GetNextRow", DISPATCH_METHOD), IID_IDispatch, "row");
    const Variant entryIdColumn = Variant::Long(1);
    const Variant id = s.d.Call(row.Get(), "row", L"Item", DISPATCH_METHOD, {&entryIdColumn});
    Ref<> item = AsObject(s.d.Call(s.nameSpace.Get(), "namespace", L"GetItemFromID", DISPATCH_METHOD, {&id}),
                          IID_IDispatch, "item");
    CHECK(s.d.Read(item.Get(), "item", L"LastName") == u"B2");
    standIn.Serve({"40\tA\ta\t\t1", "69\tTeam"});
    CHECK_THROWS_AS(s.d.Call(s.nameSpace.Get(), "namespace", L"GetItemFromID", DISPATCH_METHOD, {&id}), StoreError);
}
