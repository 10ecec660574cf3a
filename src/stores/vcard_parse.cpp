// GLib names struct members "signals", which Qt defines as a macro: the
// library's headers go before any Qt header.
#include <libebook-contacts/libebook-contacts.h>

#include "vcard_parse.h"

#include "qt_text.h"

#include <QStringDecoder>
#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <utility>

namespace {

// A name, company or number line longer than this is dropped: none is that
// long, and refusing it keeps a corrupt file from costing memory.
constexpr qsizetype kMaxPropertyBytes = 64 * 1024;
// What one card hands the library at most; lines past it are left out. Real
// cards hand over a few hundred bytes (the lines of names and numbers).
constexpr qsizetype kMaxCardBytes = 256 * 1024;

constexpr QByteArrayView kUtf8Mark("\xEF\xBB\xBF");

bool SameWord(QByteArrayView text, QByteArrayView word)
{
    return text.size() == word.size() && text.compare(word, Qt::CaseInsensitive) == 0;
}

// Files joined together may carry a byte-order mark before any card.
bool IsLine(QByteArrayView line, QByteArrayView expected)
{
    if (line.startsWith(kUtf8Mark))
        line = line.sliced(kUtf8Mark.size());
    return SameWord(line.trimmed(), expected);
}

void Count(ReadTrace *trace, qsizetype bytes)
{
    if (trace)
        trace->bytesExamined += quint64(bytes);
}

// Takes the next line off the text. CR, LF and CR LF each end a line: old
// Mac programs write CR alone, and a CR left in a line would reach the vCard
// library, which leaks the values holding one.
QByteArrayView TakeLine(QByteArrayView &text, ReadTrace *trace = nullptr)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    const char *lineEnd = std::find_if(begin, end, [](char c) { return c == '\n' || c == '\r'; });
    const QByteArrayView line(begin, lineEnd - begin);
    const char *next = lineEnd;
    if (next != end)
        next += (*next == '\r' && next + 1 != end && next[1] == '\n') ? 2 : 1;
    Count(trace, next - begin);
    text = QByteArrayView(next, end - next);
    return line;
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

// What the first line of a property tells, read from it once.
struct PropertyHeader {
    QByteArrayView name; // without its group: "item1.TEL" is TEL
    bool quotedPrintable = false;
};

PropertyHeader ReadHeader(QByteArrayView line, ReadTrace *trace)
{
    qsizetype nameEnd = 0;
    while (nameEnd < line.size() && line[nameEnd] != ';' && line[nameEnd] != ':')
        ++nameEnd;
    QByteArrayView name = line.first(nameEnd);
    name = name.sliced(name.lastIndexOf('.') + 1);
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView parameters = colon < 0 ? line : line.first(colon);
    Count(trace, nameEnd + parameters.size());
    // vCard 2.1 writes ENCODING=QUOTED-PRINTABLE or just QUOTED-PRINTABLE.
    return {name, ContainsWord(parameters, "QUOTED-PRINTABLE")};
}

bool IsReadProperty(QByteArrayView name)
{
    for (const char *read : {"N", "ORG", "TEL", "KIND", "X-EVOLUTION-LIST"}) {
        if (SameWord(name, read))
            return true;
    }
    return false;
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
// The library leaks a parameter whose value holds an '=' outside quotes
// (TYPE=WORK=FAX), or whose name holds a comma (TY,PE=FAX). A named
// parameter is passed on only when its name is a word of letters, digits and
// hyphens, as the format has them, and its value holds no such '='.
bool LeaksInLibrary(QByteArrayView parameter)
{
    const qsizetype equals = parameter.indexOf('=');
    if (equals < 0)
        return false;
    const QByteArrayView name = parameter.first(equals);
    if (name.isEmpty() || !std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        }))
        return true;
    bool quoted = false;
    for (char c : parameter.sliced(equals + 1)) {
        if (c == '"')
            quoted = !quoted;
        else if (c == '=' && !quoted)
            return true;
    }
    return false;
}

QByteArray LibraryLine(const QByteArray &line, bool quotedPrintable)
{
    const std::optional<PropertyLine> property = SplitProperty(line);
    if (!property)
        return {};
    QByteArrayView charset;
    bool plainEncoding = false;
    bool dropsParameter = false;
    for (QByteArrayView parameter : property->parameters) {
        const qsizetype equals = parameter.indexOf('=');
        const QByteArrayView name = parameter.first(std::max<qsizetype>(equals, 0));
        const QByteArrayView value = parameter.sliced(equals + 1);
        if (SameWord(name, "CHARSET"))
            charset = value;
        else if (SameWord(name, "ENCODING") && (SameWord(value, "8BIT") || SameWord(value, "7BIT")))
            plainEncoding = true;
        dropsParameter |= LeaksInLibrary(parameter);
    }
    // Quoted-printable text is ASCII; the library decodes it, then applies CHARSET.
    // A soft line break with no line after it would make the library read on.
    const bool softBreakAtEnd = quotedPrintable && line.endsWith('=');
    const bool convertsValue = !IsAscii(property->value) && !quotedPrintable;
    if (!convertsValue && !plainEncoding && !dropsParameter)
        return softBreakAtEnd ? line.chopped(1) : line;

    QByteArray rebuilt = property->name.toByteArray();
    for (QByteArrayView parameter : property->parameters) {
        const QByteArrayView name = parameter.first(std::max<qsizetype>(parameter.indexOf('='), 0));
        if ((convertsValue && SameWord(name, "CHARSET")) || (plainEncoding && SameWord(name, "ENCODING"))
            || LeaksInLibrary(parameter))
            continue;
        rebuilt += ';';
        rebuilt += parameter;
    }
    rebuilt += ':';
    rebuilt += convertsValue ? ToUtf8(property->value, charset) : property->value.toByteArray();
    if (softBreakAtEnd && rebuilt.endsWith('='))
        rebuilt.chop(1);
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

// Blanks and control characters alone show nothing and send nothing.
bool ShowsNothing(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
}

// A card is listed when it has a name, a company or a fax number: a card with
// only a fax number can still be picked and sent to. One with none of them
// (an empty name included) would be a blank line that sends nothing.
std::optional<ParsedCard> ReadCard(const QByteArray &text)
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
    for (const QString *listed : {&card.lastName, &card.firstName, &card.companyName, &card.businessFax,
                                  &card.homeFax, &card.otherFax}) {
        if (!ShowsNothing(*listed))
            return ParsedCard(card);
    }
    return std::nullopt;
}

std::atomic<quint64> g_cardsHandedToLibrary = 0;

// Collects the lines of one card that the address book reads, unfolded, and
// reads them when the card ends. Every line is looked at once, where it
// arrives, and what is kept is capped there.
class CardAssembler {
public:
    explicit CardAssembler(ReadTrace *trace) : m_trace(trace) {}

    void Begin()
    {
        m_text.clear();
        m_property.clear();
        m_keeping = false;
        m_full = false;
    }

    // True when the property is quoted-printable.
    bool StartProperty(QByteArrayView line)
    {
        FinishProperty();
        const PropertyHeader header = ReadHeader(line, m_trace);
        m_keeping = !m_full && IsReadProperty(header.name);
        m_quotedPrintable = header.quotedPrintable;
        Append(line);
        return header.quotedPrintable;
    }

    void ContinueFolded(QByteArrayView line) { Append(line.sliced(1)); }

    void ContinueAfterSoftBreak(QByteArrayView line)
    {
        if (m_keeping)
            m_property.chop(1); // the '=' that broke the line
        Append(line);
    }

    // Nothing when the card has nothing to list; then the library is spared.
    std::optional<ParsedCard> Finish()
    {
        FinishProperty();
        if (m_text.isEmpty())
            return std::nullopt;
        const QByteArray text = "BEGIN:VCARD\r\n" + m_text + "END:VCARD\r\n";
        m_text.clear();
        g_cardsHandedToLibrary.fetch_add(1, std::memory_order_relaxed);
        if (m_trace) {
            ++m_trace->libraryCards;
            if (m_trace->libraryText)
                m_trace->libraryText(text);
        }
        return ReadCard(text);
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
            Count(m_trace, m_property.size());
            QByteArray line = LibraryLine(m_property, m_quotedPrintable);
            // A value converted from its charset may hold line ends of its
            // own; the library would take them for the card's, or leak it.
            std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
            if (m_text.size() + line.size() + 2 > kMaxCardBytes)
                m_full = true; // and takes no line after it either
            else if (!line.isEmpty())
                m_text += line + "\r\n";
        }
        m_property.clear();
        m_keeping = false;
    }

    ReadTrace *m_trace;
    QByteArray m_text; // the kept lines, each ended by CR LF
    QByteArray m_property;
    bool m_keeping = false;
    bool m_quotedPrintable = false;
    bool m_full = false; // the card reached its cap
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

quint64 CardsHandedToLibrary()
{
    return g_cardsHandedToLibrary.load(std::memory_order_relaxed);
}

QByteArrayView AsUtf8Text(QByteArrayView contents, QByteArray &storage)
{
    const auto fromUtf16 = [&](QStringDecoder::Encoding encoding) {
        QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
        storage = QString(decoder.decode(contents.sliced(2))).toUtf8();
        return QByteArrayView(storage);
    };
    if (contents.startsWith("\xFF\xFE"))
        return fromUtf16(QStringDecoder::Utf16LE);
    if (contents.startsWith("\xFE\xFF"))
        return fromUtf16(QStringDecoder::Utf16BE);
    if (contents.startsWith(kUtf8Mark))
        return contents.sliced(kUtf8Mark.size());
    return contents;
}

// The library reads only a file's first card, so the file is split into cards
// here. BEGIN:VCARD and END:VCARD always delimit cards, even where a broken
// line would otherwise continue onto them.
std::vector<ParsedCard> ParseVCards(QByteArrayView contents, qsizetype maxCards, ReadTrace *trace)
{
    QByteArray converted;
    contents = AsUtf8Text(contents, converted);
    std::vector<ParsedCard> cards;
    if (maxCards <= 0)
        return cards;
    CardAssembler card(trace);
    bool inCard = false;
    bool quotedPrintable = false; // the property being read is quoted-printable
    bool softBreak = false;       // the last line ended in a quoted-printable soft line break
    const auto finish = [&] {
        if (std::optional<ParsedCard> read = card.Finish())
            cards.push_back(std::move(*read));
        return qsizetype(cards.size()) < maxCards;
    };
    while (!contents.isEmpty()) {
        const QByteArrayView line = TakeLine(contents, trace);

        if (IsLine(line, "BEGIN:VCARD")) {
            // A card that another begins before its END:VCARD keeps what it has.
            if (inCard && !finish())
                return cards;
            card.Begin();
            inCard = true;
            quotedPrintable = false;
            softBreak = false;
            continue;
        }
        if (!inCard)
            continue;
        if (IsLine(line, "END:VCARD")) {
            inCard = false;
            if (!finish())
                return cards;
            continue;
        }
        if (softBreak) {
            card.ContinueAfterSoftBreak(line);
        } else if (line.startsWith(' ') || line.startsWith('\t')) {
            card.ContinueFolded(line);
        } else {
            quotedPrintable = card.StartProperty(line);
        }
        softBreak = quotedPrintable && line.endsWith('=');
    }
    // A card cut short by the end of the file (or by the size cap on reading
    // it) keeps what it has: a file being written shows its cards at once.
    if (inCard)
        finish();
    return cards;
}

std::vector<QByteArrayView> SplitBetweenCards(QByteArrayView contents, qsizetype pieceBytes)
{
    std::vector<QByteArrayView> pieces;
    qsizetype pieceStart = 0;
    // Each line that starts past the wanted piece size is looked at until
    // one begins a card. Lines end as ParseVCards ends them.
    QByteArrayView rest = contents.sliced(std::min(contents.size(), std::max<qsizetype>(pieceBytes - 1, 0)));
    while (!rest.isEmpty()) {
        TakeLine(rest); // the line the search lands in, or the one it starts
        QByteArrayView after = rest;
        const qsizetype lineStart = contents.size() - rest.size();
        if (!rest.isEmpty() && IsLine(TakeLine(after), "BEGIN:VCARD")) {
            pieces.push_back(contents.sliced(pieceStart, lineStart - pieceStart));
            pieceStart = lineStart;
            rest = contents.sliced(std::min(contents.size(), pieceStart + std::max<qsizetype>(pieceBytes - 1, 0)));
        }
    }
    pieces.push_back(contents.sliced(pieceStart));
    return pieces;
}
