#pragma once

#include "contact_store.h"

#include <QByteArray>
#include <QString>

#include <QByteArrayView>
#include <functional>
#include <limits>
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
    bool operator==(const ParsedCard &) const = default;

private:
    enum Field { LastName, FirstName, CompanyName, BusinessFax, HomeFax, OtherFax, FieldCount };
    QString Text(Field field) const;

    QByteArray m_utf8; // the six texts, each ended by a NUL
    int m_itemClass;
};

// What reading cost and what it handed to the vCard library; for the tests
// and the fuzz targets, which hold the reader to linear work and to text the
// library reads without harm.
struct ReadTrace {
    quint64 bytesExamined = 0; // every look at a byte of the input counts, each time
    quint64 libraryCards = 0;  // cards handed to the library
    std::function<void(QByteArrayView)> libraryText; // called with each card's text as handed over
};

// The cards handed to the library so far by the whole process.
quint64 CardsHandedToLibrary();

// The text of a file as UTF-8: UTF-16 (LE or BE) with a byte-order mark is
// converted into storage, and a UTF-8 byte-order mark is dropped. Text
// without a mark is taken as it is.
QByteArrayView AsUtf8Text(QByteArrayView contents, QByteArray &storage);

// The cards of a .vcf file's contents, in file order, but at most maxCards:
// reading stops there. Never fails: text that cannot be read as a card
// contributes nothing, and a card with nothing to list (no name, company or
// fax number that is more than blanks) is skipped. CR, LF and CR LF each end
// a line.
std::vector<ParsedCard> ParseVCards(QByteArrayView contents,
                                    qsizetype maxCards = std::numeric_limits<qsizetype>::max(),
                                    ReadTrace *trace = nullptr);

// Cuts the (UTF-8) contents into pieces of about pieceBytes, each but the
// first starting at a BEGIN:VCARD line. The cards of the pieces, one after
// another, are those of the whole, so the pieces can be parsed at the same
// time.
std::vector<QByteArrayView> SplitBetweenCards(QByteArrayView contents, qsizetype pieceBytes);
