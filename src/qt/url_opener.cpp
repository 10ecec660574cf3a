#include "url_opener.h"

#include <QDesktopServices>
#include <QUrl>

bool DesktopUrlOpener::Open(const QString &address)
{
    return QDesktopServices::openUrl(QUrl(address));
}
