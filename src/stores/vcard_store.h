#pragma once

#include "contact_store.h"

#include <QString>

// An address book of vCards: a folder of .vcf files (each holding one or more
// cards) or a single .vcf file.
class VCardStore final : public ContactStore {
public:
    // What one address book lists at most: the first cards in address book
    // order (files by name, cards in file order). The cards past it are not
    // read, and one line on standard error says so each time the listing
    // changes. It bounds the time and memory a runaway address book costs.
    static constexpr qsizetype kMaxCards = 100'000;

    // A path that must exist names an address book the user chose; otherwise
    // a missing folder reads as an empty address book until it appears.
    VCardStore(QString path, bool mustExist, qsizetype maxCards = kMaxCards);
    std::unique_ptr<ContactsFolder> OpenDefaultContactsFolder() override;

private:
    QString m_path;
    bool m_mustExist;
    qsizetype m_maxCards;
};
