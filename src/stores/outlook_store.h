#pragma once

// The address book of the Windows edition: Outlook's default Contacts folder,
// read through Outlook's automation interface, late-bound through IDispatch.
#include "contact_store.h"

#include <memory>

struct IDispatch;
namespace outlook {
class Dispatcher;
}

class OutlookStore final : public ContactStore {
public:
    // Starts or reaches Outlook ("outlook.application", in or out of process)
    // and holds its application object. StoreError when Outlook is not
    // installed or does not answer.
    OutlookStore();
    // Gives up the application object; Outlook is not asked to quit.
    ~OutlookStore() override;
    OutlookStore(const OutlookStore &) = delete;
    OutlookStore &operator=(const OutlookStore &) = delete;

    // Opens the MAPI namespace and its default Contacts folder; the folder
    // keeps the namespace, to find its listed items by identity.
    std::unique_ptr<ContactsFolder> OpenDefaultContactsFolder() override;

private:
    // COM stays initialised on this thread while the store or a folder it
    // opened lives; declared first so that it goes last.
    std::shared_ptr<void> m_apartment;
    std::shared_ptr<outlook::Dispatcher> m_dispatcher;
    IDispatch *m_outlookApp = nullptr;
};
