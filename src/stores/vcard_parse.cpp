// GLib names struct members "signals", which Qt defines as a macro: the
// library's headers go before any Qt header.
#include <libebook-contacts/libebook-contacts.h>

#include "vcard_parse.h"

#include "qt_text.h"

#include <QStringDecoder>
#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace {

// A name, company or number line longer than this is dropped: none is that
// long, and refusing it keeps a corrupt file from costing memory.
constexpr qsizetype kMaxPropertyBytes = 64 * 1024;

bool SameWord(QByteArrayView text, QByteArrayView word)
{
    return text.size() == word.size() && text.compare(word, Qt::CaseInsensitive) == 0;
}

bool IsLine(QByteArrayView line, QByteArrayView expected)
{
    return SameWord(line.trimmed(), expected);
}

bool ContainsWord(QByteArrayView text, QByteArrayView word)
{
    for (qsizetype at = 0; at + word.size() <= text.size(); ++at) {
        if (SameWord(text.sliced(at, word.size()), word))
            return true;
    }
    return false;
}

// Text that declares no charset: UTF-8 when it is valid UTF-8, else most
// likely written by a Windows program. Windows-1252 also reads Latin-1 text
// right, except for control characters no address book holds.
QString FromUndeclaredCharset(QByteArrayView text)
{
    if (text.isValidUtf8())
        return QString::fromUtf8(text);
    QStringDecoder windows1252("windows-1252");
    // Qt without ICU knows no Windows-1252; Latin-1 differs only in 0x80-0x9F.
    return windows1252.isValid() ? QString(windows1252.decode(text)) : QString::fromLatin1(text);
}

QByteArray ToUtf8(QByteArrayView text, QByteArrayView charset)
{
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.toByteArray().constData());
        if (decoder.isValid())
            return QString(decoder.decode(text)).toUtf8();
    }
    return FromUndeclaredCharset(text).toUtf8();
}

bool IsAscii(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The property's name without its group: "item1.TEL" is TEL.
QByteArrayView PropertyName(QByteArrayView line)
{
    qsizetype end = 0;
    while (end < line.size() && line[end] != ';' && line[end] != ':')
        ++end;
    const QByteArrayView name = line.first(end);
    return name.sliced(name.lastIndexOf('.') + 1);
}

bool IsReadProperty(QByteArrayView name)
{
    for (const char *read : {"N", "ORG", "TEL", "KIND", "X-EVOLUTION-LIST"}) {
        if (SameWord(name, read))
            return true;
    }
    return false;
}

// vCard 2.1 writes ENCODING=QUOTED-PRINTABLE or just QUOTED-PRINTABLE.
bool IsQuotedPrintable(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    return ContainsWord(colon < 0 ? line : line.first(colon), "QUOTED-PRINTABLE");
}

struct PropertyLine {
    QByteArrayView name;
    std::vector<QByteArrayView> parameters; // as written: NAME=VALUE, or a bare value
    QByteArrayView value;
};

// Splits at the first colon outside a quoted parameter value.
std::optional<PropertyLine> SplitProperty(QByteArrayView line)
{
    PropertyLine property;
    qsizetype start = 0;
    bool quoted = false;
    for (qsizetype at = 0; at < line.size(); ++at) {
        const char c = line[at];
        if (c == '"')
            quoted = !quoted;
        if (quoted || (c != ';' && c != ':'))
            continue;
        const QByteArrayView part = line.sliced(start, at - start);
        if (start == 0)
            property.name = part;
        else
            property.parameters.push_back(part);
        start = at + 1;
        if (c == ':') {
            property.value = line.sliced(start);
            return property;
        }
    }
    return std::nullopt;
}

// The line as the library reads it right: the library takes raw 8-bit text
// only as UTF-8 (it replaces anything else before applying CHARSET), and
// warns about every ENCODING=8BIT. Empty when it is no property at all.
QByteArray LibraryLine(const QByteArray &line)
{
    const std::optional<PropertyLine> property = SplitProperty(line);
    if (!property)
        return {};
    QByteArrayView charset;
    bool plainEncoding = false;
    for (QByteArrayView parameter : property->parameters) {
        const qsizetype equals = parameter.indexOf('=');
        const QByteArrayView name = parameter.first(std::max<qsizetype>(equals, 0));
        const QByteArrayView value = parameter.sliced(equals + 1);
        if (SameWord(name, "CHARSET"))
            charset = value;
        else if (SameWord(name, "ENCODING") && (SameWord(value, "8BIT") || SameWord(value, "7BIT")))
            plainEncoding = true;
    }
    // Quoted-printable text is ASCII; the library decodes it, then applies CHARSET.
    const bool quotedPrintable = IsQuotedPrintable(line);
    // A soft line break with no line after it would make the library read on.
    if (quotedPrintable && line.endsWith('='))
        return line.chopped(1);
    const bool convertsValue = !IsAscii(property->value) && !quotedPrintable;
    if (!convertsValue && !plainEncoding)
        return line;

    QByteArray rebuilt = property->name.toByteArray();
    for (QByteArrayView parameter : property->parameters) {
        const QByteArrayView name = parameter.first(std::max<qsizetype>(parameter.indexOf('='), 0));
        if ((convertsValue && SameWord(name, "CHARSET")) || (plainEncoding && SameWord(name, "ENCODING")))
            continue;
        rebuilt += ';';
        rebuilt += parameter;
    }
    rebuilt += ':';
    rebuilt += convertsValue ? ToUtf8(property->value, charset) : property->value.toByteArray();
    return rebuilt;
}

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// vCard 4 marks a group with KIND:group, Evolution a contact list with
// X-EVOLUTION-LIST:TRUE.
bool MarksList(QByteArrayView name, GList *values)
{
    const QByteArrayView value = QByteArrayView(values ? static_cast<const char *>(values->data) : "").trimmed();
    return (SameWord(name, "KIND") && SameWord(value, "group"))
        || (SameWord(name, "X-EVOLUTION-LIST") && SameWord(value, "TRUE"));
}

QString ValueAt(GList *values, guint index)
{
    const GList *node = g_list_nth(values, index);
    return node ? FromUndeclaredCharset(static_cast<const char *>(node->data)) : QString();
}

struct TelephoneTypes {
    bool fax = false;
    bool work = false;
    bool home = false;
    bool other = false;
};

TelephoneTypes TypesOf(EVCardAttribute *telephone)
{
    TelephoneTypes types;
    for (GList *node = e_vcard_attribute_get_params(telephone); node; node = node->next) {
        auto *parameter = static_cast<EVCardAttributeParam *>(node->data);
        // The library turns vCard 2.1's bare parameters (TEL;WORK;FAX) into TYPE.
        if (!SameWord(e_vcard_attribute_param_get_name(parameter), "TYPE"))
            continue;
        for (GList *value = e_vcard_attribute_param_get_values(parameter); value; value = value->next) {
            // A quoted list (TYPE="fax,work") reaches us as one value.
            QByteArrayView list(static_cast<const char *>(value->data));
            while (!list.isEmpty()) {
                const qsizetype comma = list.indexOf(',');
                const QByteArrayView type = (comma < 0 ? list : list.first(comma)).trimmed();
                list = comma < 0 ? QByteArrayView() : list.sliced(comma + 1);
                types.fax |= SameWord(type, "FAX");
                types.work |= SameWord(type, "WORK");
                types.home |= SameWord(type, "HOME");
                types.other |= SameWord(type, "OTHER");
            }
        }
    }
    return types;
}

QString TelephoneNumber(GList *values)
{
    // The library splits the value at semicolons, which a number such as a
    // tel: URI with ";ext=" may hold.
    QByteArray joined;
    for (GList *value = values; value; value = value->next) {
        if (value != values)
            joined += ';';
        joined += static_cast<const char *>(value->data);
    }
    QString number = FromUndeclaredCharset(joined);
    // vCard 4 may write the number as a tel: URI.
    if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        number.remove(0, 4);
    return number;
}

ParsedCard ReadCard(const QByteArray &text)
{
    CardTexts card;
    bool nameSeen = false;
    bool organizationSeen = false;
    const std::unique_ptr<EVCard, GObjectUnref> vcard(e_vcard_new_from_string(text.constData()));
    for (GList *node = e_vcard_get_attributes(vcard.get()); node; node = node->next) {
        auto *attribute = static_cast<EVCardAttribute *>(node->data);
        const QByteArrayView name = e_vcard_attribute_get_name(attribute);
        GList *values = e_vcard_attribute_get_values(attribute);
        if (SameWord(name, "N") && !std::exchange(nameSeen, true)) {
            card.lastName = ValueAt(values, 0);
            card.firstName = ValueAt(values, 1);
        } else if (SameWord(name, "ORG") && !std::exchange(organizationSeen, true)) {
            card.companyName = ValueAt(values, 0);
        } else if (MarksList(name, values)) {
            card.itemClass = DistributionListClass;
        } else if (SameWord(name, "TEL")) {
            const TelephoneTypes types = TypesOf(attribute);
            if (!types.fax)
                continue;
            const QString number = TelephoneNumber(values);
            // The first number of a kind wins; an empty one is no number.
            if (types.work && card.businessFax.isEmpty())
                card.businessFax = number;
            if (types.home && card.homeFax.isEmpty())
                card.homeFax = number;
            if ((types.other || (!types.work && !types.home)) && card.otherFax.isEmpty())
                card.otherFax = number;
        }
    }
    return ParsedCard(card);
}

// Collects the lines of one card that the address book reads, unfolded, and
// reads them when the card ends.
class CardAssembler {
public:
    void Begin()
    {
        m_text = QByteArrayLiteral("BEGIN:VCARD\r\n");
        m_keeping = false;
    }

    void StartProperty(QByteArrayView line)
    {
        FinishProperty();
        m_keeping = IsReadProperty(PropertyName(line));
        Append(line);
    }

    void ContinueFolded(QByteArrayView line) { Append(line.sliced(1)); }

    void ContinueAfterSoftBreak(QByteArrayView line)
    {
        m_property.chop(1); // the '=' that broke the line
        Append(line);
    }

    ParsedCard Finish()
    {
        FinishProperty();
        m_text += "END:VCARD\r\n";
        return ReadCard(m_text);
    }

private:
    void Append(QByteArrayView text)
    {
        if (!m_keeping)
            return;
        if (m_property.size() + text.size() > kMaxPropertyBytes) {
            m_keeping = false;
            m_property.clear();
            return;
        }
        m_property += text;
    }

    void FinishProperty()
    {
        if (m_keeping) {
            // A NUL would end the library's reading of the whole card.
            if (m_property.contains('\0'))
                m_property.removeIf([](char c) { return c == '\0'; });
            const QByteArray line = LibraryLine(m_property);
            if (!line.isEmpty())
                m_text += line + "\r\n";
        }
        m_property.clear();
        m_keeping = false;
    }

    QByteArray m_text;
    QByteArray m_property;
    bool m_keeping = false;
};

} // namespace

ParsedCard::ParsedCard(const CardTexts &texts) : m_itemClass(texts.itemClass)
{
    // The parsed texts hold no NUL: the card's lines were cleared of them.
    for (const QString *text : {&texts.lastName, &texts.firstName, &texts.companyName, &texts.businessFax,
                                &texts.homeFax, &texts.otherFax})
        m_utf8 += text->toUtf8() + '\0';
    m_utf8.squeeze();
}

QString ParsedCard::Text(Field field) const
{
    qsizetype start = 0;
    for (int skipped = 0; skipped < field; ++skipped)
        start = m_utf8.indexOf('\0', start) + 1;
    return QString::fromUtf8(m_utf8.constData() + start);
}

ContactItem ParsedCard::Item() const
{
    return {m_itemClass, ToText(Text(LastName)), ToText(Text(FirstName)), ToText(Text(CompanyName))};
}

QString ParsedCard::FaxNumber(FaxKind kind) const
{
    switch (kind) {
    case FaxKind::Business:
        return Text(BusinessFax);
    case FaxKind::Home:
        return Text(HomeFax);
    case FaxKind::Other:
        break;
    }
    return Text(OtherFax);
}

// The library reads only a file's first card, so the file is split into cards
// here. BEGIN:VCARD and END:VCARD always delimit cards, even where a broken
// line would otherwise continue onto them.
std::vector<ParsedCard> ParseVCards(QByteArrayView contents)
{
    if (contents.startsWith("\xEF\xBB\xBF"))
        contents = contents.sliced(3);
    std::vector<ParsedCard> cards;
    CardAssembler card;
    bool inCard = false;
    QByteArrayView propertyStart; // the first line of the property being read
    bool softBreak = false;       // the last line ended in a quoted-printable soft line break
    while (!contents.isEmpty()) {
        const qsizetype newline = contents.indexOf('\n');
        QByteArrayView line = newline < 0 ? contents : contents.first(newline);
        contents = newline < 0 ? QByteArrayView() : contents.sliced(newline + 1);
        if (line.endsWith('\r'))
            line.chop(1);

        if (IsLine(line, "BEGIN:VCARD")) {
            // A card that another begins before its END:VCARD keeps what it has.
            if (inCard)
                cards.push_back(card.Finish());
            card.Begin();
            inCard = true;
            propertyStart = {};
            softBreak = false;
            continue;
        }
        if (!inCard)
            continue;
        if (IsLine(line, "END:VCARD")) {
            cards.push_back(card.Finish());
            inCard = false;
            continue;
        }
        if (softBreak) {
            card.ContinueAfterSoftBreak(line);
        } else if (line.startsWith(' ') || line.startsWith('\t')) {
            card.ContinueFolded(line);
        } else {
            card.StartProperty(line);
            propertyStart = line;
        }
        softBreak = line.endsWith('=') && IsQuotedPrintable(propertyStart);
    }
    // A card cut short by the end of the file (or by the size cap on reading
    // it) keeps what it has: a file being written shows its cards at once.
    if (inCard)
        cards.push_back(card.Finish());
    return cards;
}

std::vector<QByteArrayView> SplitBetweenCards(QByteArrayView contents, qsizetype pieceBytes)
{
    std::vector<QByteArrayView> pieces;
    qsizetype pieceStart = 0;
    // Each line that starts past the wanted piece size is looked at until
    // one begins a card.
    qsizetype searchFrom = pieceBytes - 1;
    while (searchFrom < contents.size()) {
        const qsizetype newline = contents.indexOf('\n', searchFrom);
        if (newline < 0)
            break;
        const QByteArrayView rest = contents.sliced(newline + 1);
        const qsizetype lineEnd = rest.indexOf('\n');
        if (IsLine(lineEnd < 0 ? rest : rest.first(lineEnd), "BEGIN:VCARD")) {
            pieces.push_back(contents.sliced(pieceStart, newline + 1 - pieceStart));
            pieceStart = newline + 1;
            searchFrom = pieceStart + pieceBytes - 1;
        } else {
            searchFrom = newline + 1;
        }
    }
    pieces.push_back(contents.sliced(pieceStart));
    return pieces;
}
