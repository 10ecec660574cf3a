// Ways to read what the list shows (UID, family and given name, company, list
// flag) of every contact of a service address book, each timed, so that the
// store's way can be weighed against the others on the same contacts.
//
//   corvane-bench-eds-listing SOURCE-UID [REPEATS]
// Prints "eds_listing_WAY_ms,VALUE" lines.
#include <libebook/libebook.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Listed {
    std::string uid, family, given, org;
    bool isList = false;
};

std::string Text(EContact *contact, EContactField field)
{
    auto *text = static_cast<char *>(e_contact_get(contact, field));
    std::string copy = text ? text : "";
    g_free(text);
    return copy;
}

Listed ListedFrom(EContact *contact)
{
    return {Text(contact, E_CONTACT_UID), Text(contact, E_CONTACT_FAMILY_NAME), Text(contact, E_CONTACT_GIVEN_NAME),
            Text(contact, E_CONTACT_ORG), GPOINTER_TO_INT(e_contact_get(contact, E_CONTACT_IS_LIST)) != 0};
}

void Collect(GSList *contacts, std::vector<Listed> &listed)
{
    for (GSList *node = contacts; node; node = node->next)
        listed.push_back(ListedFrom(E_CONTACT(node->data)));
    g_slist_free_full(contacts, g_object_unref);
}

// As the store lists now: every UID, then the contacts 500 UIDs at a time.
size_t ByUidQueries(EBookClient *client)
{
    GSList *uids = nullptr;
    if (!e_book_client_get_contacts_uids_sync(client, "", &uids, nullptr, nullptr))
        return 0;
    std::vector<Listed> listed;
    for (GSList *next = uids; next;) {
        std::vector<EBookQuery *> tests;
        for (; next && tests.size() < 500; next = next->next)
            tests.push_back(e_book_query_field_test(E_CONTACT_UID, E_BOOK_QUERY_IS, static_cast<char *>(next->data)));
        EBookQuery *anyOf = e_book_query_or(int(tests.size()), tests.data(), TRUE);
        char *query = e_book_query_to_string(anyOf);
        e_book_query_unref(anyOf);
        GSList *contacts = nullptr;
        if (e_book_client_get_contacts_sync(client, query, &contacts, nullptr, nullptr))
            Collect(contacts, listed);
        g_free(query);
    }
    g_slist_free_full(uids, g_free);
    return listed.size();
}

size_t UidsOnly(EBookClient *client)
{
    GSList *uids = nullptr;
    if (!e_book_client_get_contacts_uids_sync(client, "", &uids, nullptr, nullptr))
        return 0;
    const size_t count = g_slist_length(uids);
    g_slist_free_full(uids, g_free);
    return count;
}

// Every full contact in one call.
size_t AllAtOnce(EBookClient *client)
{
    GSList *contacts = nullptr;
    if (!e_book_client_get_contacts_sync(client, "", &contacts, nullptr, nullptr))
        return 0;
    std::vector<Listed> listed;
    Collect(contacts, listed);
    return listed.size();
}

// A cursor sorted by family and given name, 500 contacts a step.
size_t Cursor(EBookClient *client)
{
    EContactField sortFields[] = {E_CONTACT_FAMILY_NAME, E_CONTACT_GIVEN_NAME};
    EBookCursorSortType sortTypes[] = {E_BOOK_CURSOR_SORT_ASCENDING, E_BOOK_CURSOR_SORT_ASCENDING};
    EBookClientCursor *cursor = nullptr;
    if (!e_book_client_get_cursor_sync(client, nullptr, sortFields, sortTypes, 2, &cursor, nullptr, nullptr))
        return 0;
    std::vector<Listed> listed;
    for (;;) {
        GSList *contacts = nullptr;
        const int got = e_book_client_cursor_step_sync(
            cursor, EBookCursorStepFlags(E_BOOK_CURSOR_STEP_MOVE | E_BOOK_CURSOR_STEP_FETCH),
            E_BOOK_CURSOR_ORIGIN_CURRENT, 500, &contacts, nullptr, nullptr);
        if (got <= 0) {
            g_slist_free_full(contacts, g_object_unref);
            break;
        }
        Collect(contacts, listed);
    }
    g_object_unref(cursor);
    return listed.size();
}

// A view that asks the service for the listed fields only.
struct ViewRun {
    std::vector<Listed> listed;
    GMainLoop *loop = nullptr;
};

size_t ViewOf(EBookClient *client, std::initializer_list<EContactField> wanted)
{
    EBookClientView *view = nullptr;
    if (!e_book_client_get_view_sync(client, "", &view, nullptr, nullptr))
        return 0;
    GSList *fields = nullptr;
    for (EContactField field : wanted)
        fields = g_slist_append(fields, const_cast<char *>(e_contact_field_name(field)));
    e_book_client_view_set_fields_of_interest(view, fields, nullptr);
    g_slist_free(fields);
    ViewRun run;
    run.loop = g_main_loop_new(g_main_context_get_thread_default(), FALSE);
    g_signal_connect(view, "objects-added", G_CALLBACK(+[](EBookClientView *, const GSList *contacts, gpointer data) {
                         auto *r = static_cast<ViewRun *>(data);
                         for (const GSList *node = contacts; node; node = node->next)
                             r->listed.push_back(ListedFrom(E_CONTACT(node->data)));
                     }),
                     &run);
    g_signal_connect(view, "complete", G_CALLBACK(+[](EBookClientView *, const GError *, gpointer data) {
                         g_main_loop_quit(static_cast<ViewRun *>(data)->loop);
                     }),
                     &run);
    // Bounded: a view that never completes ends the wait.
    g_timeout_add_seconds(60, +[](gpointer loop) { g_main_loop_quit(static_cast<GMainLoop *>(loop)); return FALSE; },
                          run.loop);
    e_book_client_view_start(view, nullptr);
    g_main_loop_run(run.loop);
    e_book_client_view_stop(view, nullptr);
    g_object_unref(view);
    g_main_loop_unref(run.loop);
    return run.listed.size();
}

size_t FieldsOfInterestView(EBookClient *client)
{
    return ViewOf(client, {E_CONTACT_UID, E_CONTACT_FAMILY_NAME, E_CONTACT_GIVEN_NAME, E_CONTACT_ORG, E_CONTACT_IS_LIST});
}

// The same without the company, which the service's default summary lacks:
// what reading from the summary alone would cost.
size_t SummaryFieldsView(EBookClient *client)
{
    return ViewOf(client, {E_CONTACT_UID, E_CONTACT_FAMILY_NAME, E_CONTACT_GIVEN_NAME, E_CONTACT_IS_LIST});
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SOURCE-UID [REPEATS]\n", argv[0]);
        return 2;
    }
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    ESourceRegistry *registry = e_source_registry_new_sync(nullptr, nullptr);
    ESource *source = registry ? e_source_registry_ref_source(registry, argv[1]) : nullptr;
    EClient *connected = source ? e_book_client_connect_sync(source, guint32(-1), nullptr, nullptr) : nullptr;
    if (!connected) {
        std::fprintf(stderr, "eds-listing: cannot reach address book %s\n", argv[1]);
        return 1;
    }
    auto *client = E_BOOK_CLIENT(connected);
    const struct {
        const char *name;
        size_t (*run)(EBookClient *);
    } ways[] = {{"uids_only", UidsOnly}, {"by_uid_queries", ByUidQueries}, {"all_at_once", AllAtOnce},
                {"cursor", Cursor}, {"fields_of_interest_view", FieldsOfInterestView},
                {"summary_fields_view", SummaryFieldsView}};
    for (int repeat = 0; repeat < repeats; ++repeat) {
        for (const auto &way : ways) {
            const auto start = Clock::now();
            const size_t count = way.run(client);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            std::printf("eds_listing_%s_ms,%.3f\n", way.name, ms);
            if (repeat == 0)
                std::fprintf(stderr, "eds-listing: %s: %zu contacts\n", way.name, count);
        }
    }
    g_object_unref(client);
    g_object_unref(source);
    g_object_unref(registry);
    return 0;
}
