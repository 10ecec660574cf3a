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

    // The journal's lines so far, and from a mark on.
    std::vector<std::string> Calls() const;

private:
    std::wstring m_folder;
    std::wstring m_contacts;
    int m_version = 0;
};

// One line of the contacts file for an item.
std::string Line(const FakeContact &item);

// Whether a process of this executable name is running in the prefix.
bool ProcessRunning(const wchar_t *name);

// The contact store's contract, against the stand-in.
template <standin::Server kServer>
struct StandInStoreFixture {
    static constexpr bool kKeepsOrder = true;
    static constexpr bool kHoldsGroups = true;
    StandIn standIn{kServer};
    std::unique_ptr<ContactStore> Open(const std::vector<FakeContact> &items)
    {
        standIn.ServeContacts(items);
        return std::make_unique<OutlookStore>();
    }
    void Replace(const std::vector<FakeContact> &items) { standIn.ServeContacts(items); }
};
