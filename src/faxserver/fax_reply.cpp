#include "fax_reply.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>

#include <iconv.h>

namespace corvane::fax {
namespace {

constexpr std::string_view kCrLf = "\r\n";
// Fullwidth stand-ins for what sendfax cannot carry in a destination name.
constexpr std::string_view kFullwidthAt = "\xEF\xBC\xA0";        // U+FF20 for "@"
constexpr std::string_view kFullwidthQuote = "\xEF\xBC\x82";     // U+FF02 for '"'
constexpr std::string_view kFullwidthBackslash = "\xEF\xBC\xBC"; // U+FF3C for "\\"

Answer Malformed(std::string detail)
{
    Answer answer;
    answer.outcome = Outcome::Malformed;
    answer.detail = std::move(detail);
    return answer;
}

bool AllDigits(std::string_view text)
{
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The next code point of well-formed UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF) at TEXT[I], moving I past it; nullopt when there is
// none.
std::optional<std::uint32_t> NextCodePoint(std::string_view text, std::size_t &i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    std::uint32_t code = 0;
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        code = lead & 0x1Fu;
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        code = lead & 0x0Fu;
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        code = lead & 0x07u;
        length = 4;
    } else {
        return std::nullopt;
    }
    if (i + length > text.size())
        return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0u) != 0x80u)
            return std::nullopt;
        code = (code << 6) | (next & 0x3Fu);
    }
    static constexpr std::array<std::uint32_t, 5> kSmallest = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    i += length;
    return code;
}

bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        if (!NextCodePoint(text, i))
            return false;
    }
    return true;
}

// Unicode format characters (general category Cf) and the line and
// paragraph separators: invisible, or able to reorder or break what follows.
bool IsFormatCharacter(std::uint32_t code)
{
    return code == 0xAD || (code >= 0x600 && code <= 0x605) || code == 0x61C || code == 0x6DD || code == 0x70F
        || code == 0x890 || code == 0x891 || code == 0x8E2 || code == 0x180E || (code >= 0x200B && code <= 0x200F)
        || (code >= 0x2028 && code <= 0x202E) || (code >= 0x2060 && code <= 0x2064)
        || (code >= 0x2066 && code <= 0x206F) || code == 0xFEFF || (code >= 0xFFF9 && code <= 0xFFFB)
        || code == 0x110BD || code == 0x110CD || (code >= 0x13430 && code <= 0x1343F)
        || (code >= 0x1BCA0 && code <= 0x1BCA3) || (code >= 0x1D173 && code <= 0x1D17A) || code == 0xE0001
        || (code >= 0xE0020 && code <= 0xE007F);
}

// LEGACY, a line in the named code page, as UTF-8; nullopt when it is not.
std::optional<std::string> Decode(std::string_view legacy, const std::string &codePage)
{
    const iconv_t converter = ::iconv_open("UTF-8", codePage.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string in(legacy), out(legacy.size() * 4 + 4, '\0');
    char *from = in.data(), *to = out.data();
    std::size_t fromLeft = in.size(), toLeft = out.size();
    const std::size_t done = ::iconv(converter, &from, &fromLeft, &to, &toLeft);
    ::iconv_close(converter);
    if (done == static_cast<std::size_t>(-1) || fromLeft != 0)
        return std::nullopt;
    out.resize(out.size() - toLeft);
    return out;
}

} // namespace

bool IsKnownCodePage(const std::string &codePage)
{
    const iconv_t converter = ::iconv_open("UTF-8", codePage.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    ::iconv_close(converter);
    return true;
}

bool IsOneLineOfText(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto code = NextCodePoint(text, i);
        if (!code || *code < 0x20 || (*code >= 0x7F && *code <= 0x9F))
            return false;
    }
    return true;
}

std::string Printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t from = i;
        const auto code = NextCodePoint(text, i);
        if (!code) {
            ++i;
            out += "\\x";
            constexpr char kHex[] = "0123456789ABCDEF";
            out += kHex[static_cast<unsigned char>(text[from]) >> 4];
            out += kHex[static_cast<unsigned char>(text[from]) & 0xF];
        } else if (*code < 0x20 || (*code >= 0x7F && *code <= 0x9F) || IsFormatCharacter(*code)) {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "<U+%04X>", static_cast<unsigned>(*code));
            out += escaped;
        } else {
            out.append(text.substr(from, i - from));
        }
    }
    return out;
}

std::string_view OutcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Answered: return "answered";
    case Outcome::Cancelled: return "cancelled";
    case Outcome::Unreachable: return "unreachable";
    case Outcome::TimedOut: return "timed out";
    case Outcome::Malformed: return "malformed";
    }
    return "unknown";
}

Answer ParseReply(std::string_view data, const std::string &legacyCodePage)
{
    if (data.empty()) {
        Answer answer;
        answer.outcome = Outcome::Cancelled;
        answer.detail = "the user cancelled";
        return answer;
    }
    if (data.size() > kMaxReplyBytes)
        return Malformed("longer than " + std::to_string(kMaxReplyBytes) + " bytes");

    std::array<std::string_view, 4> lines;
    std::string_view rest = data;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::size_t end = rest.find(kCrLf);
        if (end == std::string_view::npos)
            return Malformed("line " + std::to_string(n + 1) + " is not ended by CR LF");
        lines[n] = rest.substr(0, end);
        rest.remove_prefix(end + kCrLf.size());
    }
    if (!rest.empty())
        return Malformed("more than four lines");

    const std::string_view number = lines[0];
    if (!AllDigits(number))
        return Malformed("line 1 (the number) holds more than ASCII digits");
    if (lines[1] != " ")
        return Malformed("line 2 is not a single blank");
    if (lines[3] != " ")
        return Malformed("line 4 is not a single blank");
    std::string recipient(lines[2]);
    if (recipient.empty())
        return Malformed("line 3 (the recipient) is empty");
    if (!IsUtf8(recipient)) {
        auto decoded = Decode(recipient, legacyCodePage);
        if (!decoded)
            return Malformed("line 3 (the recipient) is neither UTF-8 nor " + legacyCodePage + " text");
        recipient = std::move(*decoded);
    }
    if (!IsOneLineOfText(recipient))
        return Malformed("line 3 (the recipient) holds control characters");

    Answer answer;
    answer.outcome = Outcome::Answered;
    answer.destination.number = std::string(number);
    if (recipient != " ")
        answer.destination.recipient = std::move(recipient);
    return answer;
}

std::string ShellQuote(std::string_view text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string ShellAssignments(const Destination &destination)
{
    return "FAX_NUMBER=" + ShellQuote(destination.number) + '\n'
        + "FAX_RECIPIENT=" + ShellQuote(destination.recipient) + '\n'
        + "FAX_DESTINATION=" + ShellQuote(SendfaxDestination(destination)) + '\n';
}

std::string SendfaxSafeName(std::string_view recipient)
{
    // The server drops blanks at either end; drop them here, so the name
    // HylaFAX keeps is the one logged.
    const std::size_t first = recipient.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    recipient = recipient.substr(first, recipient.find_last_not_of(' ') - first + 1);
    std::string safe;
    safe.reserve(recipient.size());
    for (char c : recipient) {
        if (c == '@')
            safe += kFullwidthAt;
        else if (c == '"')
            safe += kFullwidthQuote;
        else if (c == '\\')
            safe += kFullwidthBackslash;
        else
            safe += c;
    }
    if (safe.size() <= kMaxSendfaxNameBytes)
        return safe;
    // Cut at a character boundary, leaving room for the mark.
    std::size_t cut = kMaxSendfaxNameBytes - kCutMark.size();
    while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0u) == 0x80u)
        --cut;
    safe.resize(cut);
    while (!safe.empty() && safe.back() == ' ')
        safe.pop_back();
    return safe + std::string(kCutMark);
}

std::string SendfaxDestination(const Destination &destination)
{
    const std::string name = SendfaxSafeName(destination.recipient);
    if (name.empty())
        return destination.number;
    return name + '@' + destination.number;
}

} // namespace corvane::fax
