#pragma once

#include <QByteArray>
#include <QString>

// The fax number as sent: only the ASCII digits of the source, in their order.
QString DigitsOnly(const QString &source);

// The number part of a combo entry such as "Home fax: 012 345": everything
// after the first ": ", or the entry without its first character when there
// is none.
QString NumberPartOfEntry(const QString &entry);

QString TypedNumberConfirmation(const QString &number);
QString ContactConfirmation(const QString &recipient, const QString &number);

// The four CR LF-terminated lines written to the fax server, as UTF-8. Line 3
// is one blank for a typed number and the recipient for a chosen contact;
// control characters in it become blanks so that it stays one line.
QByteArray TypedNumberReply(const QString &number);
QByteArray ContactReply(const QString &number, const QString &recipient);
