#pragma once

#include <QString>

// Whether "Send this fax" can be pressed once the tab has changed to the page.
// On the address-book page only a contact with all three fax numbers counts.
bool SendEnabledForPage(int page, const QString &typedNumber, const QString &businessFax, const QString &homeFax,
                        const QString &otherFax);

// Whether "Send this fax" can be pressed after the typed number changed.
bool SendEnabledForTypedNumber(const QString &typedNumber);
