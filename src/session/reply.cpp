#include "reply.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");

bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Line 3 must stay one line whatever a contact's name holds.
QString OneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return line;
}
QByteArray FourLines(const QString &number, const QString &line3)
{
    return (number + kCrLf + u' ' + kCrLf + line3 + kCrLf + u' ' + kCrLf).toUtf8();
}
} // namespace

QString DigitsOnly(const QString &source)
{
    QString digits;
    for (QChar c : source) {
        if (IsAsciiDigit(c))
            digits.append(c);
    }
    return digits;
}

QString NumberPartOfEntry(const QString &entry)
{
    const qsizetype colon = entry.indexOf(QStringLiteral(": "));
    return entry.mid(colon < 0 ? 1 : colon + 2);
}

QString TypedNumberConfirmation(const QString &number)
{
    return QStringLiteral("Sending fax to: ") + kCrLf + QStringLiteral("-> Fax number: ") + number + kCrLf
        + kCrLf + QStringLiteral("Are you certain these details are correct?");
}

QString ContactConfirmation(const QString &recipient, const QString &number)
{
    return QStringLiteral("Sending fax to: ") + kCrLf + QStringLiteral("-> Fax recipient: ") + recipient + kCrLf
        + QStringLiteral("-> Fax number: ") + number + kCrLf + kCrLf
        + QStringLiteral("Are you certain these details are correct?");
}

QByteArray TypedNumberReply(const QString &number)
{
    return FourLines(number, QStringLiteral(" "));
}

QByteArray ContactReply(const QString &number, const QString &recipient)
{
    return FourLines(number, OneLine(recipient));
}
