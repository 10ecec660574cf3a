#pragma once

#include "contact_store.h"

#include <memory>

// The user's address book on Windows: Outlook's, through its automation
// interface. Throws StoreError when Outlook is not there.
std::unique_ptr<ContactStore> OpenAddressBook();
