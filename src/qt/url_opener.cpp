#include "url_opener.h"

#include "qt_text.h"

#include <QDesktopServices>
#include <QUrl>

void DesktopUrlOpener::Open(const Text &address)
{
    QDesktopServices::openUrl(QUrl(ToQString(address)));
}
