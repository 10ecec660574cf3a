// Opens the address book as the program does at start-up, in the environment
// it was given, and prints what it got: "<kind> <items>" or "error: <what>".
// A process of its own, because GLib keeps the session bus it first reached
// for the rest of the process.
#include "address_book.h"
#include "eds_store.h"
#include "vcard_store.h"

#include <cstdio>

int main()
{
    try {
        const std::unique_ptr<ContactStore> store = OpenAddressBook(QProcessEnvironment::systemEnvironment());
        const char *kind = dynamic_cast<VCardStore *>(store.get()) ? "vcard"
            : dynamic_cast<EdsStore *>(store.get())                ? "eds"
                                                                    : "other";
        std::printf("%s %d\n", kind, int(store->OpenDefaultContactsFolder()->Count()));
    } catch (const StoreError &error) {
        std::printf("error: %s\n", error.what());
    }
    return 0;
}
