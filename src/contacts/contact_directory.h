#pragma once

#include "contact_store.h"

#include <QString>
#include <QStringList>
#include <vector>

// How a contact is listed: "Last, First", or "Company - (Last, First)".
QString DisplayText(const QString &lastName, const QString &firstName, const QString &companyName);

struct ListEntry {
    QString text;
    qint32 position;
};

// Orders the entries as the list shows them: by text, case-insensitively and
// as the user's language sorts; equal texts keep the address book's order.
void SortForDisplay(std::vector<ListEntry> &entries);

// The combo entries offered for a contact, in the order business, home,
// other, each only for a non-empty number.
QStringList FaxEntries(const QString &business, const QString &home, const QString &other);
