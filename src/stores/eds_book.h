#pragma once

// The address-book service's side of the store: owning its objects, the
// address book a store names, and its contacts as the listing reads them.
#include "contact_store.h"

#include <QByteArray>

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include <libebook/libebook.h>

#include <memory>
#include <string>
#include <vector>

namespace eds {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct StringListFree {
    void operator()(GSList *list) const { g_slist_free_full(list, g_free); }
};
struct ObjectListFree {
    void operator()(GSList *list) const { g_slist_free_full(list, g_object_unref); }
};
using StringList = std::unique_ptr<GSList, StringListFree>;
using ObjectList = std::unique_ptr<GSList, ObjectListFree>;

Text TextField(EContact *contact, EContactField field);
EContactField FaxField(FaxKind kind);

struct ListedContact {
    QByteArray uid;
    ContactItem item;
};

ListedContact ListedFrom(EContact *contact);

// The service hands contacts out in no lasting order; this one keeps each
// position from a listing to the selections that follow it.
bool ListedBefore(const ListedContact &a, const ListedContact &b);

// Reads what the listing shows of every contact, never all full contacts at
// once: a large address book would take hundreds of megabytes.
bool ListAll(EBookClient *client, std::vector<ListedContact> &listed, GError **error);

// Errors of the connection rather than answers of the address book: the
// service's process ended or the bus dropped it.
bool IsConnectionLost(const GError *error);

} // namespace eds

// The address book a store names; each of its folders connects on its own.
struct EdsBook {
    eds::GObjectPtr<ESourceRegistry> registry;
    eds::GObjectPtr<ESource> source;
    std::string label; // how messages name the address book

    [[noreturn]] void Fail(const std::string &what) const { throw StoreError(label + ": " + what); }
    [[noreturn]] void Fail(const std::string &what, const GError *error) const { Fail(what + ": " + error->message); }

    eds::GObjectPtr<EBookClient> Connect() const;
};

