#include "address_book.h"

#include "eds_store.h"
#include "vcard_store.h"

#include <QDir>
#include <QFileInfo>

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
    if (named == QStringLiteral("eds"))
        return std::make_unique<EdsStore>(QString());
    if (named.startsWith(QStringLiteral("eds:")))
        return std::make_unique<EdsStore>(named.mid(4));
    if (!named.isEmpty())
        throw StoreError("address book \"" + named.toStdString()
                         + "\": unknown kind (expected vcard:PATH, eds or eds:SOURCE-UID)");
    const QString vCardFolder = DefaultVCardFolder(environment);
    if (!QFileInfo::exists(vCardFolder)) {
        try {
            return std::make_unique<EdsStore>(QString());
        } catch (const EdsUnavailable &) {
            // Without the service, the vCard folder is read, empty until it appears.
        }
    }
    return std::make_unique<VCardStore>(vCardFolder, false);
}
