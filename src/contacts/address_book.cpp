#include "address_book.h"

#include "vcard_store.h"

#include <QDir>

namespace {
QString DefaultVCardFolder(const QProcessEnvironment &environment)
{
    QString dataHome = environment.value(QStringLiteral("XDG_DATA_HOME"));
    if (dataHome.isEmpty())
        dataHome = environment.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/contacts");
}
} // namespace

std::unique_ptr<ContactStore> OpenAddressBook(const QProcessEnvironment &environment)
{
    const QString named = environment.value(QStringLiteral("CORVANE_TESK_ADDRESSBOOK"));
    if (named.startsWith(QStringLiteral("vcard:")))
        return std::make_unique<VCardStore>(named.mid(6), true);
    if (!named.isEmpty())
        throw StoreError("address book \"" + named.toStdString() + "\": unknown kind (expected vcard:PATH)");
    return std::make_unique<VCardStore>(DefaultVCardFolder(environment), false);
}
