#include "address_book.h"

#ifdef CORVANE_HAVE_OUTLOOK_STORE
#include "outlook_store.h"
#endif

std::unique_ptr<ContactStore> OpenAddressBook()
{
#ifdef CORVANE_HAVE_OUTLOOK_STORE
    return std::make_unique<OutlookStore>();
#else
    // This build has no way to read Outlook: the program says it found none.
    throw StoreError("this build cannot read Outlook");
#endif
}
