#pragma once

#include "contact_store.h"

#include <QByteArrayView>
#include <vector>

// What the address book keeps of one card: its listing and its fax numbers.
struct ParsedCard {
    ContactItem item;
    QString businessFax;
    QString homeFax;
    QString otherFax;

    const QString &FaxNumber(FaxKind kind) const;
};

// The cards of a .vcf file's contents, in file order. Never fails: text that
// cannot be read as a card contributes nothing.
std::vector<ParsedCard> ParseVCards(QByteArrayView contents);

// Cuts the contents into pieces of about pieceBytes, each but the first
// starting at a BEGIN:VCARD line. The cards of the pieces, one after another,
// are those of the whole, so the pieces can be parsed at the same time.
std::vector<QByteArrayView> SplitBetweenCards(QByteArrayView contents, qsizetype pieceBytes);
