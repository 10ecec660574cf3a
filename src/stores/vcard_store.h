#pragma once

#include "contact_store.h"

#include <QString>

// An address book of vCards: a folder of .vcf files (each holding one or more
// cards) or a single .vcf file.
class VCardStore final : public ContactStore {
public:
    // A path that must exist names an address book the user chose; otherwise
    // a missing folder reads as an empty address book until it appears.
    VCardStore(QString path, bool mustExist);
    std::unique_ptr<ContactsFolder> OpenDefaultContactsFolder() override;

private:
    QString m_path;
    bool m_mustExist;
};
