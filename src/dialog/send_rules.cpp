#include "send_rules.h"

#include "dialog_layout.h"

bool SendEnabledForPage(int page, const QString &typedNumber, const QString &businessFax, const QString &homeFax,
                        const QString &otherFax)
{
    switch (page) {
    case TypedNumberPage:
        return SendEnabledForTypedNumber(typedNumber);
    case AddressBookPage:
        return !businessFax.isEmpty() && !homeFax.isEmpty() && !otherFax.isEmpty();
    default:
        return false;
    }
}

bool SendEnabledForTypedNumber(const QString &typedNumber)
{
    return !typedNumber.isEmpty();
}
