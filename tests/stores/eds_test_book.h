#pragma once

// What the tests do to Evolution Data Server from the outside: write contacts
// as another program would, and end its address-book process as a crash
// would. Each call returns what went wrong, empty when all went well.

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <libebook/libebook.h>

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct TestContact {
    QString lastName, firstName, companyName;
    QString businessFax, homeFax, otherFax;
    bool isList = false;
    QByteArray uid; // empty: the service chooses one
};

// An address book of the running service and a client of its own to it.
class EdsTestBook {
public:
    // A new local address book, removed again with this object.
    static std::unique_ptr<EdsTestBook> CreateIsolated(ESourceRegistry *registry, QString &failure);
    // The default address book; only what was added through this object is
    // removed with it.
    static std::unique_ptr<EdsTestBook> OpenDefault(ESourceRegistry *registry, QString &failure);
    ~EdsTestBook();

    QString SourceUid() const;
    QString Add(const TestContact &contact, QByteArray *uid = nullptr);
    // A card as another program would have written it.
    QString AddCard(const QByteArray &vcard, QByteArray *uid = nullptr);
    QString SetText(const QByteArray &uid, EContactField field, const QString &text);
    QString RemoveContact(const QByteArray &uid);
    // The address book itself, at once rather than with this object.
    QString RemoveBook();
    // A removed address book back, under the same UID.
    QString RestoreBook();
    // A client of its own again, after the service's process has ended.
    QString Reconnect();

private:
    EdsTestBook(ESourceRegistry *registry, GObjectPtr<ESource> source, bool isolated);
    QString Connect();
    QString Write(EContact *written, QByteArray *uid);

    ESourceRegistry *m_registry;
    GObjectPtr<ESource> m_source;
    GObjectPtr<EBookClient> m_client;
    bool m_isolated;
    bool m_removed = false;
    std::vector<QByteArray> m_added;
};

// Kills the process serving address books on this session's bus, and waits
// until the bus has seen it go. Other sessions' processes are left alone.
QString KillAddressBookService();
