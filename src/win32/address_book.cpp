#include "address_book.h"

#include "outlook_store.h"

std::unique_ptr<ContactStore> OpenAddressBook()
{
    return std::make_unique<OutlookStore>();
}
