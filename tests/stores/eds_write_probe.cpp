// Adds one contact to an address book of the address-book service, as
// another program on the desktop would, and ends once the service has
// stored it.
//   eds_write_probe SOURCE-UID FAMILY-NAME
// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <libebook/libebook.h>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE-UID FAMILY-NAME\n", argv[0]);
        return 2;
    }
    g_autoptr(GError) error = nullptr;
    g_autoptr(ESourceRegistry) registry = e_source_registry_new_sync(nullptr, &error);
    g_autoptr(ESource) source = registry ? e_source_registry_ref_source(registry, argv[1]) : nullptr;
    g_autoptr(EClient) client = source ? e_book_client_connect_sync(source, guint32(-1), nullptr, &error) : nullptr;
    EContact *contact = e_contact_new();
    e_contact_set(contact, E_CONTACT_FAMILY_NAME, argv[2]);
    e_contact_set(contact, E_CONTACT_FULL_NAME, argv[2]);
    const bool added = client
        && e_book_client_add_contact_sync(E_BOOK_CLIENT(client), contact, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr,
                                          &error);
    g_object_unref(contact);
    if (!added) {
        std::fprintf(stderr, "eds_write_probe: %s\n", error ? error->message : "no such address book");
        return 1;
    }
    return 0;
}
