#include "fax_reply.h"

#include <array>
#include <cstdint>

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

// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF)
// with no control character, C0, DEL or C1: the desktop turns those into
// blanks, so one here means the reply did not come from it.
bool IsOneLineOfText(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
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
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u)
                return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        static constexpr std::array<std::uint32_t, 5> kSmallest = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            return false;
        i += length;
    }
    return true;
}

} // namespace

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

Answer ParseReply(std::string_view data)
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
    const std::string_view recipient = lines[2];
    if (recipient.empty())
        return Malformed("line 3 (the recipient) is empty");
    if (!IsOneLineOfText(recipient))
        return Malformed("line 3 (the recipient) is not UTF-8 text without control characters");

    Answer answer;
    answer.outcome = Outcome::Answered;
    answer.destination.number = std::string(number);
    if (recipient != " ")
        answer.destination.recipient = std::string(recipient);
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
    return safe;
}

std::string SendfaxDestination(const Destination &destination)
{
    const std::string name = SendfaxSafeName(destination.recipient);
    if (name.empty())
        return destination.number;
    return name + '@' + destination.number;
}

} // namespace corvane::fax
