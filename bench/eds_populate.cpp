// Puts the cards of a generated vCard folder into a new local address book of
// the desktop's address-book service, under a given source UID, so that the
// window can list the same contacts through the service.
//
//   corvane-bench-eds-populate SOURCE-UID FOLDER
#include <libebook/libebook.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Contacts per call: large enough to keep the bus round trips few, small
// enough to keep each message well under the bus's size limit.
constexpr size_t kBatch = 500;

int Failed(const char *what, const GError *error)
{
    std::fprintf(stderr, "eds-populate: %s: %s\n", what, error ? error->message : "unknown error");
    return 1;
}

std::string ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE-UID FOLDER\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    g_autoptr(GError) error = nullptr;
    g_autoptr(ESourceRegistry) registry = e_source_registry_new_sync(nullptr, &error);
    if (!registry)
        return Failed("no address-book service", error);

    g_autoptr(ESource) scratch = e_source_new_with_uid(argv[1], nullptr, &error);
    if (!scratch)
        return Failed("cannot make an address book", error);
    e_source_set_parent(scratch, "local-stub");
    e_source_set_display_name(scratch, argv[1]);
    e_source_backend_set_backend_name(
        E_SOURCE_BACKEND(e_source_get_extension(scratch, E_SOURCE_EXTENSION_ADDRESS_BOOK)), "local");
    if (!e_source_registry_commit_source_sync(registry, scratch, nullptr, &error))
        return Failed("cannot add the address book", error);
    g_autoptr(ESource) source = e_source_registry_ref_source(registry, argv[1]);
    if (!source)
        return Failed("the registry does not show the new address book", nullptr);

    EClient *connected = e_book_client_connect_sync(source, guint32(-1), nullptr, &error);
    if (!connected)
        return Failed("cannot connect", error);
    const std::unique_ptr<EBookClient, decltype(&g_object_unref)> owned(E_BOOK_CLIENT(connected), g_object_unref);
    EBookClient *client = owned.get();

    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(argv[2]))
        if (entry.path().extension() == ".vcf")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    size_t added = 0;
    for (size_t first = 0; first < files.size(); first += kBatch) {
        GSList *batch = nullptr;
        for (size_t i = first; i < std::min(files.size(), first + kBatch); ++i)
            batch = g_slist_prepend(batch, e_contact_new_from_vcard(ReadFile(files[i]).c_str()));
        const bool ok = e_book_client_add_contacts_sync(client, batch, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr,
                                                        &error);
        added += g_slist_length(batch);
        g_slist_free_full(batch, g_object_unref);
        if (!ok)
            return Failed("cannot add contacts", error);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "eds-populate: %zu contacts into %s in %.1f s\n", added, argv[1], seconds);
    return 0;
}
