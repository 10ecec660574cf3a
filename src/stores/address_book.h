#pragma once

#include "contact_store.h"

#include <QProcessEnvironment>

// Chooses the user's address book: the one CORVANE_TESK_ADDRESSBOOK names
// ("vcard:PATH", "eds" for Evolution Data Server's default book or
// "eds:SOURCE-UID" for one of its books) when set; else the vCard folder
// $XDG_DATA_HOME/contacts where it exists; else Evolution Data Server's
// default book; else, without that service, the vCard folder all the same.
// Throws StoreError naming the address book and the reason when a named one
// cannot be used.
std::unique_ptr<ContactStore> OpenAddressBook(const QProcessEnvironment &environment);
