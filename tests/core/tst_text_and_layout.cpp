// Text at the edges, and the designed layout.
#include "layout.h"
#include "text.h"

#include <doctest/doctest.h>

TEST_CASE("UTF-8 and UTF-16 convert both ways; broken input becomes U+FFFD")
{
    const Text sample = u"a\u00e9\u20ac\U0001F600";
    CHECK(ToUtf8(sample) == "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    CHECK(FromUtf8(ToUtf8(sample)) == sample);
    CHECK(ToUtf8(Text(1, char16_t(0xD800))) == "\xef\xbf\xbd");
    CHECK(FromUtf8("\xff") == u"\uFFFD");
    CHECK(FromUtf8("\xc0\xaf") == u"\uFFFD\uFFFD"); // overlong
    CHECK(FromUtf8("\xed\xa0\x80") == u"\uFFFD\uFFFD\uFFFD"); // a surrogate
    CHECK(FromUtf8("a\xe2\x82") == u"a\uFFFD\uFFFD");
    CHECK(DecimalText(5555) == u"5555");
}

TEST_CASE("twips become pixels at the window's resolution, rounded to the nearest")
{
    CHECK(TwipsToPixels(15) == 1);
    CHECK(TwipsToPixels(10815) == 721);
    CHECK(TwipsToPixels(7) == 0);
    CHECK(TwipsToPixels(8) == 1);
    CHECK(TwipsToPixels(-120) == -8);
    CHECK(TwipsToPixels(-360) == -24);
    CHECK(TwipsToPixels(1440, 144) == 144);
    CHECK(TwipsToPixels(10815, 192) == 1442);
}

TEST_CASE("the control table")
{
    CHECK(WindowLayout().clientWidth == 10815);
    CHECK(WindowLayout().clientHeight == 7185);
    CHECK(ControlTable().size() == 29);
    CHECK(Control("btn_send").disabled);
    CHECK(Control("addressList").disabled);
    CHECK_FALSE(Control("btn_cancel").disabled);
    for (const char *hidden : {"lbl_recipient", "lbl_businessfaxno", "lbl_homefaxno", "lbl_otherfaxno", "Label10",
                               "Label3", "lbl_of", "lbl_connect"})
        CHECK(Control(hidden).hidden);
    CHECK(Control("Text1").font.IsDefault());
    CHECK(Control("Text1").container == Container::Frame3);
    CHECK(Control("Frame3").font.face == u"Arial");
    CHECK(Control("lbl_starthomepage").colour == Rgb(0, 0, 255));
    CHECK(Control("Image1").left == -360);
    CHECK_THROWS(Control("nothing"));
    CHECK(FocusOrder() == std::vector<std::string_view>{"btn_send", "tab_addressselect", "txt_faxno", "addressList",
                                                        "txt_outlookfaxno", "Text1", "btn_cancel"});
    CHECK(TabCaptions().size() == 3);
    CHECK(TabCaptions()[1] == u"Use Outlook address book");
}
