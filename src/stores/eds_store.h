#pragma once

#include "contact_store.h"

#include <QString>

// The address-book service of the desktop (Evolution Data Server) is not
// installed or cannot be reached.
struct EdsUnavailable : StoreError {
    using StoreError::StoreError;
};

struct EdsBook;

// An address book kept by Evolution Data Server. All its calls are
// synchronous, made on the calling thread.
class EdsStore final : public ContactStore {
public:
    // The address book with this source UID, or the user's default one when
    // the UID is empty. Throws EdsUnavailable where the service cannot be
    // reached, StoreError where it holds no such address book.
    explicit EdsStore(const QString &sourceUid);
    ~EdsStore() override;
    // Connects to the address book; throws StoreError when it cannot.
    std::unique_ptr<ContactsFolder> OpenDefaultContactsFolder() override;

private:
    std::shared_ptr<const EdsBook> m_book;
};
