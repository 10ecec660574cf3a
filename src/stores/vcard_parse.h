#pragma once

#include "contact_store.h"

#include <QByteArray>
#include <QString>

#include <QByteArrayView>
#include <vector>

// The texts of a card that the address book reads.
struct CardTexts {
    int itemClass = ContactClass;
    QString lastName, firstName, companyName;
    QString businessFax, homeFax, otherFax;
};

// What the address book keeps of one card: its listing and its fax numbers,
// packed into one block of UTF-8, as a long address book holds tens of
// thousands of them for the program's whole life.
class ParsedCard {
public:
    explicit ParsedCard(const CardTexts &texts);

    ContactItem Item() const;
    QString FaxNumber(FaxKind kind) const;

private:
    enum Field { LastName, FirstName, CompanyName, BusinessFax, HomeFax, OtherFax, FieldCount };
    QString Text(Field field) const;

    QByteArray m_utf8; // the six texts, each ended by a NUL
    int m_itemClass;
};

// The cards of a .vcf file's contents, in file order. Never fails: text that
// cannot be read as a card contributes nothing.
std::vector<ParsedCard> ParseVCards(QByteArrayView contents);

// Cuts the contents into pieces of about pieceBytes, each but the first
// starting at a BEGIN:VCARD line. The cards of the pieces, one after another,
// are those of the whole, so the pieces can be parsed at the same time.
std::vector<QByteArrayView> SplitBetweenCards(QByteArrayView contents, qsizetype pieceBytes);
