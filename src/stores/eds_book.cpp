#include "eds_book.h"

#include "qt_text.h"

#include <tuple>

namespace eds {
namespace {

// Contacts fetched per query while listing: memory holds no more full
// contacts than these, and a query's expression stays well inside the
// service's limit of 1000 terms.
constexpr size_t kContactsPerQuery = 500;

// The properties the listing reads, and those that make a card.
bool IsListedProperty(QByteArrayView line)
{
    qsizetype nameEnd = 0;
    while (nameEnd < line.size() && line[nameEnd] != ';' && line[nameEnd] != ':')
        ++nameEnd;
    QByteArrayView name = line.first(nameEnd);
    name = name.sliced(name.lastIndexOf('.') + 1); // without its group
    for (const char *listed : {"BEGIN", "VERSION", "UID", "N", "ORG", "X-EVOLUTION-LIST", "KIND", "END"}) {
        if (name.compare(listed, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The card cut down to what the listing reads: parsing whole cards, notes
// and photos and all, takes several times longer than fetching them.
QByteArray ListedPart(QByteArrayView card)
{
    QByteArray part;
    bool keeping = false;
    while (!card.isEmpty()) {
        const qsizetype newline = card.indexOf('\n');
        const QByteArrayView line = newline < 0 ? card : card.first(newline + 1);
        card = card.sliced(line.size());
        // A line that starts with a blank continues the property before it.
        if (!line.startsWith(' ') && !line.startsWith('\t'))
            keeping = IsListedProperty(line);
        if (keeping)
            part += line;
    }
    return part;
}

// Evolution's own lists, and vCard 4.0 groups.
bool IsList(EContact *contact)
{
    if (GPOINTER_TO_INT(e_contact_get(contact, E_CONTACT_IS_LIST)))
        return true;
    EVCardAttribute *kind = e_vcard_get_attribute(E_VCARD(contact), "KIND");
    g_autofree gchar *value = kind ? e_vcard_attribute_get_value(kind) : nullptr;
    return value && g_ascii_strcasecmp(g_strstrip(value), "group") == 0;
}

// A fetched contact still holds its text as it came, unparsed: parsing only
// the listed part of it is cheaper. (A view's contacts carry their UID
// beside the text, and their text comes out only through a full parse.)
ListedContact ListedFromFetched(EContact *fetched)
{
    g_autofree gchar *card = e_vcard_to_string(E_VCARD(fetched), EVC_FORMAT_VCARD_30);
    const GObjectPtr<EContact> contact(e_contact_new_from_vcard(ListedPart(card).constData()));
    return ListedFrom(contact.get());
}

// The query for the contacts of the next UIDs of the list; moves past them.
std::string NextUidsQuery(const GSList *&next)
{
    std::vector<EBookQuery *> tests;
    for (; next && tests.size() < kContactsPerQuery; next = next->next)
        tests.push_back(e_book_query_field_test(E_CONTACT_UID, E_BOOK_QUERY_IS, static_cast<const char *>(next->data)));
    EBookQuery *anyOf = e_book_query_or(int(tests.size()), tests.data(), TRUE);
    g_autofree gchar *query = e_book_query_to_string(anyOf);
    e_book_query_unref(anyOf);
    return query;
}

} // namespace

Text TextField(EContact *contact, EContactField field)
{
    g_autofree gchar *text = static_cast<gchar *>(e_contact_get(contact, field));
    return ToText(QString::fromUtf8(text));
}

EContactField FaxField(FaxKind kind)
{
    switch (kind) {
    case FaxKind::Business:
        return E_CONTACT_PHONE_BUSINESS_FAX;
    case FaxKind::Home:
        return E_CONTACT_PHONE_HOME_FAX;
    case FaxKind::Other:
        return E_CONTACT_PHONE_OTHER_FAX;
    }
    Q_UNREACHABLE();
}

ListedContact ListedFrom(EContact *contact)
{
    g_autofree gchar *uid = static_cast<gchar *>(e_contact_get(contact, E_CONTACT_UID));
    return {QByteArray(uid),
            {IsList(contact) ? DistributionListClass : ContactClass, TextField(contact, E_CONTACT_FAMILY_NAME),
             TextField(contact, E_CONTACT_GIVEN_NAME), TextField(contact, E_CONTACT_ORG)}};
}

bool ListedBefore(const ListedContact &a, const ListedContact &b)
{
    return std::tie(a.item.lastName, a.item.firstName, a.item.companyName, a.uid)
        < std::tie(b.item.lastName, b.item.firstName, b.item.companyName, b.uid);
}

bool ListAll(EBookClient *client, std::vector<ListedContact> &listed, GError **error)
{
    listed.clear();
    GSList *uids = nullptr;
    if (!e_book_client_get_contacts_uids_sync(client, "", &uids, nullptr, error))
        return false;
    const StringList ownedUids(uids);
    listed.reserve(g_slist_length(uids));
    for (const GSList *next = uids; next;) {
        GSList *contacts = nullptr;
        if (!e_book_client_get_contacts_sync(client, NextUidsQuery(next).c_str(), &contacts, nullptr, error))
            return false;
        const ObjectList ownedContacts(contacts);
        // Contacts removed since their UIDs were read are simply not listed.
        for (const GSList *contact = contacts; contact; contact = contact->next)
            listed.push_back(ListedFromFetched(E_CONTACT(contact->data)));
    }
    return true;
}

bool IsConnectionLost(const GError *error)
{
    return error->domain == G_IO_ERROR || error->domain == G_DBUS_ERROR;
}

} // namespace eds

eds::GObjectPtr<EBookClient> EdsBook::Connect() const
{
    g_autoptr(GError) error = nullptr;
    // (guint32)-1: no waiting for a remote book to come online. Any other
    // wait blocks its full length even for a local book, and 0 for ever.
    EClient *client = e_book_client_connect_sync(source.get(), guint32(-1), nullptr, &error);
    if (!client)
        Fail("cannot connect", error);
    return eds::GObjectPtr<EBookClient>(E_BOOK_CLIENT(client));
}
