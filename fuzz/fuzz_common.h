#pragma once
// What every fuzz target checks of the cards it reads.

#include "qt_text.h"
#include "recipient.h"
#include "vcard_parse.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void Fail(const char *what, QByteArrayView detail = {})
{
    std::fprintf(stderr, "property broken: %s %s\n", what, detail.toByteArray().toPercentEncoding(" ").constData());
    std::abort();
}

inline void Require(bool holds, const char *what, QByteArrayView detail = {})
{
    if (!holds)
        Fail(what, detail);
}

inline QList<QByteArrayView> Split(QByteArrayView text, QByteArrayView separator)
{
    QList<QByteArrayView> parts;
    for (qsizetype at; (at = text.indexOf(separator)) >= 0; text = text.sliced(at + separator.size()))
        parts << text.first(at);
    parts << text;
    return parts;
}

// Every reply the program could build from the card is four lines, each
// ended by CR LF, with no CR or LF inside them, in valid UTF-8.
inline void CheckReplies(const ParsedCard &card)
{
    const ContactItem item = card.Item();
    const Text recipient = DisplayText(item.lastName, item.firstName, item.companyName);
    const std::vector<Text> entries = FaxEntries(ToText(card.FaxNumber(FaxKind::Business)),
                                                 ToText(card.FaxNumber(FaxKind::Home)),
                                                 ToText(card.FaxNumber(FaxKind::Other)));
    for (const Text &entry : entries) {
        const QByteArray reply = QByteArray::fromStdString(ContactReply(DigitsOnly(NumberPartOfEntry(entry)), recipient));
        Require(reply.isValidUtf8(), "reply is UTF-8", reply);
        Require(reply.endsWith("\r\n"), "reply ends in CR LF", reply);
        const QList<QByteArrayView> lines = Split(QByteArrayView(reply).chopped(2), "\r\n");
        Require(lines.size() == 4, "reply has four lines", reply);
        for (QByteArrayView line : lines)
            Require(!line.contains('\r') && !line.contains('\n'), "reply lines hold no line end", reply);
        Require(lines[1] == " " && lines[3] == " ", "reply lines 2 and 4 are one blank", reply);
        for (char c : lines[0])
            Require(c >= '0' && c <= '9', "reply number is digits", reply);
    }
}

// A card that is listed has something to list.
inline void CheckListable(const ParsedCard &card)
{
    const ContactItem item = card.Item();
    bool something = false;
    for (const QString &text : {ToQString(item.lastName), ToQString(item.firstName), ToQString(item.companyName),
                                card.FaxNumber(FaxKind::Business), card.FaxNumber(FaxKind::Home),
                                card.FaxNumber(FaxKind::Other)})
        something |= !text.trimmed().isEmpty();
    Require(something, "listed card has a name, company or fax number");
}
