#include "eds_test_book.h"

#include <QTest>

#include <algorithm>
#include <csignal>
#include <utility>

namespace {

constexpr int kServiceActsWithinMs = 10000;

QString Failure(const char *what, const GError *error)
{
    return QString::fromUtf8(what) + QStringLiteral(": ") + QString::fromUtf8(error->message);
}

void WriteText(EContact *contact, EContactField field, const QString &text)
{
    e_contact_set(contact, field, text.isEmpty() ? nullptr : text.toUtf8().constData());
}

// The registry's own object for the new book (the one that can be removed);
// uid null for a new one.
GObjectPtr<ESource> AddLocalBook(ESourceRegistry *registry, const char *uid, QString &failure)
{
    g_autoptr(GError) error = nullptr;
    GObjectPtr<ESource> scratch(uid ? e_source_new_with_uid(uid, nullptr, &error)
                                    : e_source_new(nullptr, nullptr, &error));
    if (!scratch) {
        failure = Failure("cannot make an address book", error);
        return nullptr;
    }
    e_source_set_parent(scratch.get(), "local-stub");
    e_source_set_display_name(scratch.get(), "Corvane Tesk test");
    e_source_backend_set_backend_name(
        E_SOURCE_BACKEND(e_source_get_extension(scratch.get(), E_SOURCE_EXTENSION_ADDRESS_BOOK)), "local");
    if (!e_source_registry_commit_source_sync(registry, scratch.get(), nullptr, &error)) {
        failure = Failure("cannot add the address book", error);
        return nullptr;
    }
    GObjectPtr<ESource> source(e_source_registry_ref_source(registry, e_source_get_uid(scratch.get())));
    if (!source)
        failure = QStringLiteral("the registry does not show the address book it added");
    return source;
}

} // namespace

EdsTestBook::EdsTestBook(ESourceRegistry *registry, GObjectPtr<ESource> source, bool isolated)
    : m_registry(registry)
    , m_source(std::move(source))
    , m_isolated(isolated)
{
}

EdsTestBook::~EdsTestBook()
{
    if (m_isolated) {
        RemoveBook();
        return;
    }
    for (const QByteArray &uid : m_added)
        RemoveContact(uid);
}

std::unique_ptr<EdsTestBook> EdsTestBook::CreateIsolated(ESourceRegistry *registry, QString &failure)
{
    GObjectPtr<ESource> source = AddLocalBook(registry, nullptr, failure);
    if (!source)
        return nullptr;
    std::unique_ptr<EdsTestBook> book(new EdsTestBook(registry, std::move(source), true));
    failure = book->Connect();
    return failure.isEmpty() ? std::move(book) : nullptr;
}

std::unique_ptr<EdsTestBook> EdsTestBook::OpenDefault(ESourceRegistry *registry, QString &failure)
{
    GObjectPtr<ESource> source(e_source_registry_ref_default_address_book(registry));
    if (!source) {
        failure = QStringLiteral("the service has no default address book");
        return nullptr;
    }
    std::unique_ptr<EdsTestBook> book(new EdsTestBook(registry, std::move(source), false));
    failure = book->Connect();
    return failure.isEmpty() ? std::move(book) : nullptr;
}

QString EdsTestBook::Connect()
{
    // A book just added reaches the service's own view of the sources a
    // moment later; until then connecting fails.
    QString failure;
    const bool connected = QTest::qWaitFor(
        [&] {
            g_autoptr(GError) error = nullptr;
            EClient *client = e_book_client_connect_sync(m_source.get(), guint32(-1), nullptr, &error);
            if (!client)
                failure = Failure("cannot connect to the address book", error);
            m_client.reset(client ? E_BOOK_CLIENT(client) : nullptr);
            return bool(m_client);
        },
        kServiceActsWithinMs);
    return connected ? QString() : failure;
}

QString EdsTestBook::SourceUid() const
{
    return QString::fromUtf8(e_source_get_uid(m_source.get()));
}

QString EdsTestBook::Add(const TestContact &contact, QByteArray *uid)
{
    GObjectPtr<EContact> written(e_contact_new());
    WriteText(written.get(), E_CONTACT_UID, QString::fromUtf8(contact.uid));
    EContactName *name = e_contact_name_new();
    name->family = g_strdup(contact.lastName.toUtf8().constData());
    name->given = g_strdup(contact.firstName.toUtf8().constData());
    e_contact_set(written.get(), E_CONTACT_NAME, name);
    e_contact_name_free(name);
    WriteText(written.get(), E_CONTACT_ORG, contact.companyName);
    WriteText(written.get(), E_CONTACT_PHONE_BUSINESS_FAX, contact.businessFax);
    WriteText(written.get(), E_CONTACT_PHONE_HOME_FAX, contact.homeFax);
    WriteText(written.get(), E_CONTACT_PHONE_OTHER_FAX, contact.otherFax);
    e_contact_set(written.get(), E_CONTACT_IS_LIST, GINT_TO_POINTER(contact.isList));

    return Write(written.get(), uid);
}

QString EdsTestBook::AddCard(const QByteArray &vcard, QByteArray *uid)
{
    const GObjectPtr<EContact> written(e_contact_new_from_vcard(vcard.constData()));
    return Write(written.get(), uid);
}

QString EdsTestBook::Write(EContact *written, QByteArray *uid)
{
    g_autoptr(GError) error = nullptr;
    g_autofree gchar *added = nullptr;
    if (!e_book_client_add_contact_sync(m_client.get(), written, E_BOOK_OPERATION_FLAG_NONE, &added, nullptr, &error))
        return Failure("cannot add a contact", error);
    m_added.emplace_back(added);
    if (uid)
        *uid = added;
    return {};
}

QString EdsTestBook::SetText(const QByteArray &uid, EContactField field, const QString &text)
{
    g_autoptr(GError) error = nullptr;
    EContact *read = nullptr;
    if (!e_book_client_get_contact_sync(m_client.get(), uid.constData(), &read, nullptr, &error))
        return Failure("cannot read the contact", error);
    const GObjectPtr<EContact> contact(read);
    WriteText(contact.get(), field, text);
    if (!e_book_client_modify_contact_sync(m_client.get(), contact.get(), E_BOOK_OPERATION_FLAG_NONE, nullptr,
                                           &error))
        return Failure("cannot change the contact", error);
    return {};
}

QString EdsTestBook::RemoveContact(const QByteArray &uid)
{
    g_autoptr(GError) error = nullptr;
    if (!e_book_client_remove_contact_by_uid_sync(m_client.get(), uid.constData(), E_BOOK_OPERATION_FLAG_NONE,
                                                  nullptr, &error))
        return Failure("cannot remove the contact", error);
    return {};
}

QString EdsTestBook::RemoveBook()
{
    if (std::exchange(m_removed, true))
        return {};
    g_autoptr(GError) error = nullptr;
    if (!e_source_remove_sync(m_source.get(), nullptr, &error))
        return Failure("cannot remove the address book", error);
    return {};
}

QString EdsTestBook::RestoreBook()
{
    QString failure;
    GObjectPtr<ESource> source = AddLocalBook(m_registry, e_source_get_uid(m_source.get()), failure);
    if (!source)
        return failure;
    m_source = std::move(source);
    m_removed = false;
    return {};
}

QString EdsTestBook::Reconnect()
{
    return Connect();
}

namespace {

GVariant *CallBus(GDBusConnection *bus, const char *method, GVariant *arguments, const char *replyType,
                  GError **error)
{
    return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       method, arguments, G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE, -1,
                                       nullptr, error);
}

bool HasOwner(GDBusConnection *bus, const char *name)
{
    g_autoptr(GVariant) reply = CallBus(bus, "NameHasOwner", g_variant_new("(s)", name), "(b)", nullptr);
    gboolean owned = FALSE;
    if (reply)
        g_variant_get(reply, "(b)", &owned);
    return owned;
}

} // namespace

QString KillAddressBookService()
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus)
        return Failure("no session bus", error);
    g_autoptr(GVariant) names = CallBus(bus, "ListNames", nullptr, "(as)", &error);
    if (!names)
        return Failure("cannot list the bus names", error);
    g_autofree const gchar **listed = nullptr;
    g_variant_get(names, "(^a&s)", &listed);
    std::vector<QByteArray> served;
    for (const gchar **name = listed; *name; ++name) {
        if (g_str_has_prefix(*name, "org.gnome.evolution.dataserver.AddressBook"))
            served.emplace_back(*name);
    }
    if (served.empty())
        return QStringLiteral("no address-book service runs on the session bus");
    for (const QByteArray &name : served) {
        g_autoptr(GVariant) process =
            CallBus(bus, "GetConnectionUnixProcessID", g_variant_new("(s)", name.constData()), "(u)", &error);
        if (!process)
            return Failure("cannot find the service's process", error);
        guint32 pid = 0;
        g_variant_get(process, "(u)", &pid);
        if (kill(pid_t(pid), SIGKILL) != 0)
            return QStringLiteral("cannot kill process %1").arg(pid);
    }
    const bool gone = QTest::qWaitFor(
        [&] {
            return std::none_of(served.begin(), served.end(),
                                [&](const QByteArray &name) { return HasOwner(bus, name.constData()); });
        },
        kServiceActsWithinMs);
    return gone ? QString() : QStringLiteral("the address-book service still runs");
}
