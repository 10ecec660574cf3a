#include "eds_store.h"

#include "eds_book.h"

#include <QDeadlineTimer>
#include <QHash>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using namespace eds;

namespace {

std::string Named(const std::string &name)
{
    return "address book \"" + name + "\"";
}

// The contacts the listing shows, kept up to date by the service's change
// notifications: a request then costs no read of the whole address book.
// Notifications wait in a main context of the folder's own, taken in only
// by the folder's calls, so that no other event of the program is handled
// in the middle of a request.
class EdsFolder final : public ContactsFolder {
public:
    explicit EdsFolder(std::shared_ptr<const EdsBook> book)
        : m_book(std::move(book))
        , m_context(g_main_context_new())
    {
        Connect();
    }

    ~EdsFolder() override { Disconnect(); }

    int32_t Count() override
    {
        m_listingStands = false;
        // Asked before the view's notifications are taken in, so that the
        // listing is at least as new as the revision kept with it. (In every
        // trial the view had told of a change by the time the program that
        // made it had its answer; one it tells of later is taken in by the
        // next look, which then reads again.)
        const std::string revision = Revision();
        if (!m_readsWhole) {
            Read("cannot list the contacts", [this](EBookClient *client, GError **error) { return Follow(client, error); });
        }
        // Checked again: following may have just turned out not to work.
        if (m_readsWhole) {
            std::vector<ListedContact> listed;
            Read("cannot list the contacts",
                 [&listed](EBookClient *client, GError **error) { return ListAll(client, listed, error); });
            std::sort(listed.begin(), listed.end(), ListedBefore);
            m_listed = std::move(listed);
        } else if (std::exchange(m_changed, false)) {
            m_listed.clear();
            m_listed.reserve(size_t(m_contacts.size()));
            for (auto contact = m_contacts.cbegin(); contact != m_contacts.cend(); ++contact)
                m_listed.push_back({contact.key(), contact.value()});
            std::sort(m_listed.begin(), m_listed.end(), ListedBefore);
        }
        m_listedRevision = revision;
        m_listingStands = !m_readsWhole && !revision.empty();
        return qint32(m_listed.size());
    }

    // One call to the service for the address book's revision, which every
    // change moves on, and the view's notifications that came meanwhile.
    bool ChangedSinceListing() override
    {
        if (!m_listingStands || !m_view || m_serviceEnded)
            return true;
        const std::string revision = Revision();
        TakeNotifications();
        return m_changed || m_viewFailure || m_serviceEnded || revision.empty() || revision != m_listedRevision;
    }

    ContactItem Item(int32_t position) override { return Listed(position).item; }

    Text FaxNumber(int32_t position, FaxKind kind) override
    {
        const QByteArray &uid = Listed(position).uid;
        GObjectPtr<EContact> contact;
        // A contact removed since the listing fails the read too.
        Read("cannot read the contact at position " + std::to_string(position),
             [&uid, &contact](EBookClient *client, GError **error) {
                 EContact *read = nullptr;
                 const bool found = e_book_client_get_contact_sync(client, uid.constData(), &read, nullptr, error);
                 contact.reset(read);
                 return found;
             });
        return TextField(contact.get(), FaxField(kind));
    }

private:
    // The first listing of a view waits for all of it; a service that is
    // still busy after this long is taken as stuck.
    static constexpr int kListedWithinMs = 30000;

    // Makes m_context the one the view's signals go to.
    class InFolderContext {
    public:
        explicit InFolderContext(GMainContext *context)
            : m_context(context)
        {
            g_main_context_push_thread_default(m_context);
        }
        ~InFolderContext() { g_main_context_pop_thread_default(m_context); }

    private:
        GMainContext *m_context;
    };

    struct ContextUnref {
        void operator()(GMainContext *context) const { g_main_context_unref(context); }
    };

    const ListedContact &Listed(qint32 position) const
    {
        if (position < 1 || size_t(position) > m_listed.size())
            m_book->Fail("no item at position " + std::to_string(position));
        return m_listed[size_t(position - 1)];
    }

    // The address book's revision as the service holds it now; empty when
    // it cannot be had.
    std::string Revision()
    {
        if (!m_client || m_serviceEnded)
            return {};
        g_autoptr(GError) error = nullptr;
        g_autofree gchar *revision = nullptr;
        if (!e_client_retrieve_properties_sync(E_CLIENT(m_client.get()), nullptr, &error)
            || !e_client_get_backend_property_sync(E_CLIENT(m_client.get()), CLIENT_BACKEND_PROPERTY_REVISION, &revision,
                                                   nullptr, &error)
            || !revision)
            return {};
        return revision;
    }

    void TakeNotifications()
    {
        while (g_main_context_iteration(m_context.get(), FALSE)) {
        }
    }

    void Connect()
    {
        // The client stays with the program's main context: it winds up there
        // after the folder has gone, and tells of the service's end between
        // requests.
        m_client = m_book->Connect();
        m_serviceEnded = false;
        g_signal_connect(m_client.get(), "backend-died", G_CALLBACK(+[](EClient *, gpointer folder) {
                             static_cast<EdsFolder *>(folder)->m_serviceEnded = true;
                         }),
                         this);
    }

    void StopFollowing()
    {
        if (!m_view)
            return;
        g_signal_handlers_disconnect_by_data(m_view.get(), this);
        e_book_client_view_stop(m_view.get(), nullptr); // fails harmlessly where the service has gone
        m_view.reset();
        m_viewComplete = false;
    }

    void Disconnect()
    {
        StopFollowing();
        if (m_client)
            g_signal_handlers_disconnect_by_data(m_client.get(), this);
        m_client.reset();
        // Notifications of the old view and client still waiting go too.
        while (g_main_context_iteration(m_context.get(), FALSE)) {
        }
    }

    // A view of every contact, which first hands out all of them and then
    // each change. False with the error where it cannot be had; true with
    // m_readsWhole set where the address book offers no views.
    bool StartFollowing(EBookClient *client, GError **error)
    {
        EBookQuery *all = e_book_query_any_field_contains("");
        g_autofree gchar *query = e_book_query_to_string(all);
        e_book_query_unref(all);
        const InFolderContext inFolder(m_context.get());
        EBookClientView *view = nullptr;
        if (!e_book_client_get_view_sync(client, query, &view, nullptr, error))
            return ReadWholeUnlessLost(error);
        m_view.reset(view);
        // A hint only: the service may hand out whole cards regardless, and
        // KIND has no field of its own but comes with the card.
        GSList *fields = nullptr;
        for (const EContactField field :
             {E_CONTACT_UID, E_CONTACT_FAMILY_NAME, E_CONTACT_GIVEN_NAME, E_CONTACT_ORG, E_CONTACT_IS_LIST})
            fields = g_slist_prepend(fields, const_cast<gchar *>(e_contact_field_name(field)));
        e_book_client_view_set_fields_of_interest(view, fields, nullptr);
        g_slist_free(fields);
        e_book_client_view_set_flags(view, E_BOOK_CLIENT_VIEW_FLAGS_NOTIFY_INITIAL, nullptr);
        g_signal_connect(view, "objects-added", G_CALLBACK(OnObjectsChanged), this);
        g_signal_connect(view, "objects-modified", G_CALLBACK(OnObjectsChanged), this);
        g_signal_connect(view, "objects-removed", G_CALLBACK(OnObjectsRemoved), this);
        g_signal_connect(view, "complete", G_CALLBACK(OnComplete), this);
        // The view lists all contacts anew.
        m_contacts.clear();
        m_changed = true;
        m_viewComplete = false;
        m_viewFailure.reset();
        e_book_client_view_start(view, error);
        if (error && *error) {
            StopFollowing();
            return ReadWholeUnlessLost(error);
        }
        return true;
    }

    bool ReadWholeUnlessLost(GError **error)
    {
        if (IsConnectionLost(*error))
            return false;
        g_clear_error(error);
        m_readsWhole = true;
        return true;
    }

    static void OnObjectsChanged(EBookClientView *, const GSList *contacts, gpointer folder)
    {
        auto *self = static_cast<EdsFolder *>(folder);
        for (const GSList *contact = contacts; contact; contact = contact->next) {
            ListedContact listed = ListedFrom(E_CONTACT(contact->data));
            self->m_contacts.insert(listed.uid, listed.item);
        }
        self->m_changed = true;
    }

    static void OnObjectsRemoved(EBookClientView *, const GSList *uids, gpointer folder)
    {
        auto *self = static_cast<EdsFolder *>(folder);
        for (const GSList *uid = uids; uid; uid = uid->next)
            self->m_contacts.remove(QByteArray(static_cast<const char *>(uid->data)));
        self->m_changed = true;
    }

    static void OnComplete(EBookClientView *, const GError *error, gpointer folder)
    {
        auto *self = static_cast<EdsFolder *>(folder);
        if (error)
            self->m_viewFailure.reset(g_error_copy(error));
        else
            self->m_viewComplete = true;
    }

    // Takes in what the view has handed out so far; the first time, all of
    // the address book. False with the error where the service has gone.
    bool Follow(EBookClient *client, GError **error)
    {
        if (!m_view) {
            if (!StartFollowing(client, error))
                return false;
            if (m_readsWhole)
                return true;
        }
        QDeadlineTimer deadline(kListedWithinMs);
        // Wakes the wait below at the deadline.
        GSource *wake = g_timeout_source_new(guint(kListedWithinMs));
        g_source_set_callback(wake, +[](gpointer) { return gboolean(G_SOURCE_CONTINUE); }, nullptr, nullptr);
        g_source_attach(wake, m_context.get());
        bool followed = false;
        for (;;) {
            while (g_main_context_iteration(m_context.get(), FALSE)) {
            }
            if (m_serviceEnded) {
                g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_CLOSED, "the address-book service has ended");
                break;
            }
            if (m_viewFailure) {
                g_propagate_error(error, m_viewFailure.release());
                StopFollowing();
                followed = ReadWholeUnlessLost(error);
                break;
            }
            if (m_viewComplete) {
                followed = true;
                break;
            }
            if (deadline.hasExpired()) {
                // Not a lost connection: a reconnection would wait as long again.
                g_set_error(error, E_CLIENT_ERROR, E_CLIENT_ERROR_SEARCH_TIME_LIMIT_EXCEEDED, "not all contacts listed within %d s",
                            kListedWithinMs / 1000);
                StopFollowing(); // the next request starts again
                break;
            }
            g_main_context_iteration(m_context.get(), TRUE);
        }
        g_source_destroy(wake);
        g_source_unref(wake);
        return followed;
    }

    // A client stays dead once the service behind it has gone. Then a new
    // one, which starts the service again, makes the read once more; a
    // client that cannot be had now is sought again on the next read.
    template <typename ReadFunction>
    void Read(const std::string &what, const ReadFunction &read)
    {
        g_autoptr(GError) error = nullptr;
        if (m_client) {
            if (read(m_client.get(), &error))
                return;
            if (!IsConnectionLost(error))
                m_book->Fail(what, error);
            Disconnect();
            g_clear_error(&error);
        }
        Connect();
        if (!read(m_client.get(), &error))
            m_book->Fail(what, error);
    }

    struct ErrorFree {
        void operator()(GError *error) const { g_error_free(error); }
    };

    const std::shared_ptr<const EdsBook> m_book;
    const std::unique_ptr<GMainContext, ContextUnref> m_context; // where the view's signals wait
    GObjectPtr<EBookClient> m_client; // null after a failed reconnection
    bool m_serviceEnded = false; // the client's service has gone
    GObjectPtr<EBookClientView> m_view; // null until the first listing, and after a failure
    bool m_viewComplete = false; // the view has handed out all contacts
    std::unique_ptr<GError, ErrorFree> m_viewFailure;
    bool m_readsWhole = false; // the address book offers no views: each Count() reads all
    QHash<QByteArray, ContactItem> m_contacts; // by UID, as the view handed them out
    bool m_changed = false; // m_contacts differs from m_listed
    std::vector<ListedContact> m_listed; // as the last Count() saw them, in order
    std::string m_listedRevision; // the address book's revision as m_listed was taken
    bool m_listingStands = false; // m_listed was taken from the view, which follows each change since
};

} // namespace

EdsStore::EdsStore(const QString &sourceUid)
{
    const std::string requested = Named(sourceUid.isEmpty() ? "eds" : "eds:" + sourceUid.toStdString());
    g_autoptr(GError) error = nullptr;
    GObjectPtr<ESourceRegistry> registry(e_source_registry_new_sync(nullptr, &error));
    if (!registry)
        throw EdsUnavailable(requested + ": Evolution Data Server cannot be reached: " + error->message);
    // The default book falls back to the built-in one, which is missing
    // only where the service is broken.
    GObjectPtr<ESource> source(sourceUid.isEmpty()
                                   ? e_source_registry_ref_default_address_book(registry.get())
                                   : e_source_registry_ref_source(registry.get(), sourceUid.toUtf8().constData()));
    if (!source && sourceUid.isEmpty())
        throw EdsUnavailable(requested + ": Evolution Data Server has no address book");
    if (!source)
        throw StoreError(requested + ": Evolution Data Server has no such address book");
    if (!e_source_has_extension(source.get(), E_SOURCE_EXTENSION_ADDRESS_BOOK))
        throw StoreError(requested + ": this Evolution Data Server source is not an address book");
    std::string label = Named(std::string("eds:") + e_source_get_uid(source.get())) + " ("
        + e_source_get_display_name(source.get()) + ")";
    m_book = std::make_shared<const EdsBook>(EdsBook{std::move(registry), std::move(source), std::move(label)});
}

EdsStore::~EdsStore() = default;

std::unique_ptr<ContactsFolder> EdsStore::OpenDefaultContactsFolder()
{
    return std::make_unique<EdsFolder>(m_book);
}
