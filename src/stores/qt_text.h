#pragma once

// The program's text and Qt's share one unit, UTF-16: converting is a copy.
#include "text.h"

#include <QString>

inline Text ToText(const QString &text)
{
    return Text(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
}

inline QString ToQString(TextView text)
{
    return QString(reinterpret_cast<const QChar *>(text.data()), qsizetype(text.size()));
}
