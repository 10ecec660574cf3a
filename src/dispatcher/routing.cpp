#include "routing.h"

#include <algorithm>

namespace routing {
namespace {

constexpr std::string_view kKeyword = "USER ";

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Control characters (C0 and DEL) never belong in a name; bytes of UTF-8
// sequences do.
bool Printable(unsigned char c)
{
    return c >= 0x20 && c != 0x7f;
}

// Well-formed UTF-8: no stray continuation bytes, no truncated or overlong
// sequences, nothing beyond U+10FFFF, no surrogates.
bool ValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra;
        unsigned long code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xc2 && c <= 0xdf) {
            extra = 1, code = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            extra = 2, code = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            extra = 3, code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3f);
        }
        if ((extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) || code > 0x10ffff ||
            (code >= 0xd800 && code <= 0xdfff))
            return false;
        i += extra + 1;
    }
    return true;
}

} // namespace

FirstLine ReadFirstLine(std::string_view received)
{
    const std::string_view window = received.substr(0, kMaxLine);
    const std::size_t feed = window.find('\n');
    if (feed == std::string_view::npos)
        return {window.size() < kMaxLine ? FirstLine::Incomplete : FirstLine::Refused, {}, 0};
    const FirstLine refused{FirstLine::Refused, {}, 0};
    if (feed == 0 || window[feed - 1] != '\r')
        return refused;
    const std::string_view line = window.substr(0, feed - 1);
    if (!line.starts_with(kKeyword))
        return refused;
    std::string_view name = line.substr(kKeyword.size());
    if (!std::all_of(name.begin(), name.end(), [](char c) { return Printable(static_cast<unsigned char>(c)); }) ||
        !ValidUtf8(name))
        return refused;
    if (const std::size_t slash = name.rfind('\\'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    if (const std::size_t at = name.find('@'); at != std::string_view::npos)
        name = name.substr(0, at);
    // A name is one word: blanks around it or inside it, and an empty one,
    // name nobody.
    if (name.empty() || name.find(' ') != std::string_view::npos)
        return refused;
    return {FirstLine::Named, std::string(name), feed + 1};
}

bool SameUser(std::string_view named, std::string_view account)
{
    return named.size() == account.size() &&
           std::equal(named.begin(), named.end(), account.begin(),
                      [](char a, char b) { return Lower(a) == Lower(b); });
}

std::optional<std::size_t> Choose(const Request &request, const std::vector<Program> &programs)
{
    std::string user = request.user;
    if (request.kind == Request::Silent) {
        if (programs.empty())
            return std::nullopt;
        user = programs.front().account;
        for (const Program &program : programs)
            if (program.account != user)
                return std::nullopt;
    }
    for (std::size_t i = 0; i < programs.size(); ++i)
        if (programs[i].free && SameUser(user, programs[i].account))
            return i;
    return std::nullopt;
}

} // namespace routing
