#pragma once

// The Outlook stand-in in Outlook's place for one test: registered with the
// kind of server asked for, serving a contacts file of the test's own and
// writing its journal beside it. Both files go with the fixture.
#include "fake_contact_store.h"
#include "outlook_store.h"
#include "registration.h"

#include <memory>
#include <string>
#include <vector>

class StandIn {
public:
    explicit StandIn(standin::Server server);
    ~StandIn();
    StandIn(const StandIn &) = delete;
    StandIn &operator=(const StandIn &) = delete;

    // Replaces what the stand-in serves from its next Items access on: lines
    // of the contacts file's format (standin_objects.h).
    void Serve(const std::vector<std::string> &lines);
    void ServeContacts(const std::vector<FakeContact> &items);

    // The journal's lines so far.
    std::vector<std::string> Calls() const;
    // The calls the stand-in has received so far: name lookups, calls and
    // final releases (round trips, out of process).
    long ReceivedCalls();
    // Keeps the out-of-process server up until the fixture goes, so that a
    // test that opens Outlook again and again does not meet a server that is
    // just ending (COM then fails the activation).
    void HoldServer() { ReceivedCalls(); }

    // Lines served before those of every Serve(), e.g. "!fail GetTable".
    std::vector<std::string> always;

private:
    std::wstring m_folder;
    std::wstring m_contacts;
    int m_version = 0;
    IDispatch *m_counter = nullptr; // an application object, to ask for ReceivedCalls
};

// One line of the contacts file for an item.
std::string Line(const FakeContact &item);

// Whether a process of this executable name is running in the prefix.
bool ProcessRunning(const wchar_t *name);

// The ways the store can read a listing: through Outlook's table, or item by
// item where the table cannot be had.
enum class Way { Table, ItemByItem };
inline const std::vector<std::string> &LinesFor(Way way)
{
    static const std::vector<std::string> none, noTable = {"!fail GetTable"};
    return way == Way::Table ? none : noTable;
}

// The contact store's contract, against the stand-in.
template <standin::Server kServer, Way kWay = Way::Table>
struct StandInStoreFixture {
    static constexpr bool kKeepsOrder = true;
    static constexpr bool kHoldsGroups = true;
    // Item by item the store cannot tell cheaply.
    static constexpr bool kTellsUnchanged = kWay == Way::Table;
    StandIn standIn{kServer};
    std::unique_ptr<ContactStore> Open(const std::vector<FakeContact> &items)
    {
        standIn.always = LinesFor(kWay);
        standIn.ServeContacts(items);
        return std::make_unique<OutlookStore>();
    }
    void Replace(const std::vector<FakeContact> &items) { standIn.ServeContacts(items); }
};
