#include "recipient.h"

#include "texts.h"

namespace {
bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// C0 and C1 controls and DEL: what would break the reply's line structure or
// show as nothing.
bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

std::string FourLines(TextView number, const std::string &line3)
{
    constexpr std::string_view kCrLf = "\r\n";
    std::string reply = ToUtf8(number);
    reply += kCrLf;
    reply += ' ';
    reply += kCrLf;
    reply += line3;
    reply += kCrLf;
    reply += ' ';
    reply += kCrLf;
    return reply;
}
} // namespace

Text DigitsOnly(TextView source)
{
    Text digits;
    for (char16_t c : source) {
        if (IsAsciiDigit(c))
            digits += c;
    }
    return digits;
}

Text NumberPartOfEntry(TextView entry)
{
    const size_t colon = entry.find(u": ");
    const size_t start = colon == TextView::npos ? 1 : colon + 2;
    return Text(start < entry.size() ? entry.substr(start) : TextView());
}

Text DisplayText(TextView lastName, TextView firstName, TextView companyName)
{
    Text name(lastName);
    if (!lastName.empty() && !firstName.empty())
        name += u", ";
    name += firstName;
    if (companyName.empty())
        return name;
    return Text(companyName) + u" - (" + name + u')';
}

std::vector<Text> FaxEntries(TextView business, TextView home, TextView other)
{
    std::vector<Text> entries;
    if (!business.empty())
        entries.push_back(Text(texts::BusinessFaxPrefix) + Text(business));
    if (!home.empty())
        entries.push_back(Text(texts::HomeFaxPrefix) + Text(home));
    if (!other.empty())
        entries.push_back(Text(texts::OtherFaxPrefix) + Text(other));
    return entries;
}

std::string TypedNumberReply(TextView number)
{
    return FourLines(number, " ");
}

std::string ContactReply(TextView number, TextView recipient, const LineEncoder &encode)
{
    Text line(recipient);
    for (char16_t &c : line) {
        if (IsControl(c))
            c = u' ';
    }
    return FourLines(number, encode(line));
}

bool SendEnabledForPage(int page, TextView typedNumber, TextView businessFax, TextView homeFax, TextView otherFax)
{
    switch (page) {
    case TypedNumberPage:
        return SendEnabledForTypedNumber(typedNumber);
    case AddressBookPage:
        return !businessFax.empty() && !homeFax.empty() && !otherFax.empty();
    default:
        return false;
    }
}

bool SendEnabledForTypedNumber(TextView typedNumber)
{
    return !typedNumber.empty();
}
