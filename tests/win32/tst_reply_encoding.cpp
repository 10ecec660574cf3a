// The recipient's line in the system's ANSI code page, or UTF-8 where the
// page lacks a character of it.
#include "reply_encoding.h"

#include <doctest/doctest.h>

TEST_CASE("line 3 goes in the ANSI code page when the page has every character, else as UTF-8")
{
    struct Case {
        const char16_t *name;
        UINT codePage;
        std::string bytes;
    };
    const Case cases[] = {
        {u"Smith, John", 1252, "Smith, John"},
        {u"M\u00fcller, Zo\u00eb", 1252, "M\xfcller, Zo\xeb"},
        {u"Caf\u00e9 \u20ac", 1252, "Caf\xe9 \x80"},
        // A character the page lacks: the whole line as UTF-8, never "?".
        {u"M\u00fcller \u674e", 1252, "M\xc3\xbcller \xe6\x9d\x8e"},
        // A look-alike would do for the page (a plain L): still UTF-8.
        {u"\u0141\u00f3d\u017a", 1252, "\xc5\x81\xc3\xb3\x64\xc5\xba"},
        // The same name in a page that has it.
        {u"\u0141\u00f3d\u017a", 1250, "\xa3\xf3\x64\x9f"},
        {u"\u674e", 932, "\x97\x9b"},
        {u"M\u00fcller", CP_UTF8, "M\xc3\xbcller"},
        {u"", 1252, ""},
    };
    for (const Case &c : cases) {
        CAPTURE(c.codePage);
        CHECK(AnsiOrUtf8(c.name, c.codePage) == c.bytes);
    }
    // The system's own page; a Wine prefix normally has 1252.
    if (GetACP() == 1252) {
        CHECK(AnsiOrUtf8(u"M\u00fcller") == "M\xfcller");
        CHECK(AnsiOrUtf8(u"\u674e") == "\xe6\x9d\x8e");
    } else {
        MESSAGE("ANSI code page " << GetACP() << ": the system's own page is not checked");
    }
}
