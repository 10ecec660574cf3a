// The number, the recipient and the reply as the fax server reads them.
#include "recipient.h"
#include "texts.h"

#include <doctest/doctest.h>

TEST_CASE("only the ten ASCII digits count, in their order, at any length")
{
    CHECK(DigitsOnly(u"(012) 345-678") == u"012345678");
    CHECK(DigitsOnly(u"+12 345 678") == u"12345678");
    CHECK(DigitsOnly(u"letters only").empty());
    CHECK(DigitsOnly(u"").empty());
    // Full-width, Arabic-Indic and superscript digits are not ASCII digits.
    CHECK(DigitsOnly(u"\uFF11\u0662\u00B3 4") == u"4");
    for (size_t length : {32766u, 32767u, 100000u}) {
        const Text source(length, u'7');
        CHECK(DigitsOnly(source).size() == length);
    }
}

TEST_CASE("the number part of a combo entry is what follows the first \": \"")
{
    CHECK(NumberPartOfEntry(u"Business fax: +12 (3) 456") == u"+12 (3) 456");
    CHECK(NumberPartOfEntry(u"Home fax: 1: 2") == u"1: 2");
    CHECK(NumberPartOfEntry(u"9123") == u"123");
    CHECK(NumberPartOfEntry(u"x: ").empty());
    CHECK(NumberPartOfEntry(u"").empty());
    CHECK(NumberPartOfEntry(u"a:b") == u":b");
}

TEST_CASE("a contact is listed as \"Last, First\" or \"Company - (Last, First)\"")
{
    CHECK(DisplayText(u"Smith", u"Ann", u"") == u"Smith, Ann");
    CHECK(DisplayText(u"Smith", u"", u"") == u"Smith");
    CHECK(DisplayText(u"", u"Ann", u"") == u"Ann");
    CHECK(DisplayText(u"", u"", u"").empty());
    CHECK(DisplayText(u"Smith", u"Ann", u"Acme") == u"Acme - (Smith, Ann)");
    CHECK(DisplayText(u"Smith", u"", u"Acme") == u"Acme - (Smith)");
    CHECK(DisplayText(u"", u"Ann", u"Acme") == u"Acme - (Ann)");
    CHECK(DisplayText(u"", u"", u"Acme") == u"Acme - ()");
    CHECK(DisplayText(u" ", u" ", u"") == u" ,  ");
}

TEST_CASE("fax entries come business, home, other, each only for a number given")
{
    CHECK(FaxEntries(u"1", u"2", u"3") == std::vector<Text>{u"Business fax: 1", u"Home fax: 2", u"Other fax: 3"});
    CHECK(FaxEntries(u"", u"2", u"") == std::vector<Text>{u"Home fax: 2"});
    CHECK(FaxEntries(u"", u"", u"").empty());
}

TEST_CASE("a reply is four CR LF lines: the number, a blank, the recipient on one line, a blank")
{
    CHECK(TypedNumberReply(u"012345678") == "012345678\r\n \r\n \r\n \r\n");
    CHECK(TypedNumberReply(u"") == "\r\n \r\n \r\n \r\n");
    CHECK(ContactReply(u"1", u"Smith, John") == "1\r\n \r\nSmith, John\r\n \r\n");
    // Line breaks, tabs and other controls in a name become blanks.
    CHECK(ContactReply(u"1", u"A\r\nB\tC\u0085D\u007F") == "1\r\n \r\nA  B C D \r\n \r\n");
    // Names go out as UTF-8, other scripts and emoji included.
    CHECK(ContactReply(u"1", u"M\u00fcller, \u0417\u043e\u044f \U0001F600") ==
          "1\r\n \r\nM\xc3\xbcller, \xd0\x97\xd0\xbe\xd1\x8f \xf0\x9f\x98\x80\r\n \r\n");
    CHECK(ContactReply(u"1", u"") == "1\r\n \r\n\r\n \r\n");
    // A front end's own encoding writes line 3 alone, after controls became
    // blanks; the number and the other lines stay as they are.
    const LineEncoder bracketed = [](TextView line) { return "[" + ToUtf8(line) + "]"; };
    CHECK(ContactReply(u"1", u"A\nB", bracketed) == "1\r\n \r\n[A B]\r\n \r\n");
}

TEST_CASE("the confirmation texts")
{
    CHECK(texts::TypedNumberConfirmation(u"") ==
          u"Sending fax to: \r\n-> Fax number: \r\n\r\nAre you certain these details are correct?");
    CHECK(texts::ContactConfirmation(u"Acme - ()", u"1") ==
          u"Sending fax to: \r\n-> Fax recipient: Acme - ()\r\n-> Fax number: 1\r\n\r\nAre you certain these "
          u"details are correct?");
    CHECK(texts::BindError(5555) == u"Some other program may be binding port 5555.\r\nPlease clear this port and try again.");
}

TEST_CASE("send-button rules by page")
{
    CHECK(SendEnabledForPage(TypedNumberPage, u" ", u"", u"", u""));
    CHECK_FALSE(SendEnabledForPage(TypedNumberPage, u"", u"1", u"2", u"3"));
    CHECK(SendEnabledForPage(AddressBookPage, u"", u"1", u"2", u"3"));
    CHECK_FALSE(SendEnabledForPage(AddressBookPage, u"1", u"1", u"2", u""));
    CHECK_FALSE(SendEnabledForPage(AddressBookPage, u"1", u"", u"2", u"3"));
    CHECK_FALSE(SendEnabledForPage(AboutPage, u"1", u"1", u"2", u"3"));
    CHECK_FALSE(SendEnabledForPage(7, u"1", u"1", u"2", u"3"));
}
