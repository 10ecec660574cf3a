#pragma once

#include "contact_store.h"

#include <QProcessEnvironment>

// Chooses the user's address book: CORVANE_TESK_ADDRESSBOOK ("vcard:PATH")
// when set, else the vCard folder $XDG_DATA_HOME/contacts. Throws StoreError
// naming the address book and the reason when a named one cannot be used.
std::unique_ptr<ContactStore> OpenAddressBook(const QProcessEnvironment &environment);
