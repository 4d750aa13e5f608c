#include "DecodeHtml.h"
#include "Codec.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

using modGoogleTranslate::DecodeHtml;

namespace {

struct RepairCase {
    const char* name;
    QString text;
    QString repaired;
};

void PrintTo(const RepairCase& c, std::ostream* os)
{
    *os << c.name;
}

class DecodeHtmlRepair : public testing::TestWithParam<RepairCase>
{
};

TEST_P(DecodeHtmlRepair, RepairsInPlaceAndReturnsTheSame)
{
    QString text = GetParam().text;
    const QString returned = DecodeHtml(text);
    EXPECT_EQ(text, GetParam().repaired);
    EXPECT_EQ(returned, text);
}

QString u16(const char16_t* text)
{
    return QString::fromUtf16(text);
}

INSTANTIATE_TEST_SUITE_P(Unchanged, DecodeHtmlRepair,
    testing::Values(RepairCase{"Empty", "", ""}, RepairCase{"PlainText", "Hello, world!", "Hello, world!"},
        RepairCase{"LoneCr", "a\rb", "a\rb"}, RepairCase{"SingleQuote", "say \"hi\"", "say \"hi\""},
        RepairCase{"UnicodeSAndA", u16(u"\u015b\u0105"), u16(u"\u015b\u0105")},
        RepairCase{"LowerCasePercent", "%c3%a6", "%c3%a6"}, RepairCase{"UpperCaseEscape", "&LT;&AMP;", "&LT;&AMP;"},
        RepairCase{"OtherEntity", "&quot;", "&quot;"}, RepairCase{"SlashBeforeSpace", "/ &gt;", "/ >"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(Escapes, DecodeHtmlRepair,
    testing::Values(RepairCase{"LessGreater", "&lt;b&gt;", "<b>"}, RepairCase{"SelfClosingTag", "&lt;br/&gt;", "<br>"},
        RepairCase{"Ampersand", "a &amp; b", "a & b"}, RepairCase{"AmpersandTwice", "&amp;amp;", "&"},
        RepairCase{"AmpersandThrice", "&amp;amp;amp;", "&amp;"}, RepairCase{"LessThanTwice", "&amp;lt;", "&lt;"},
        RepairCase{"GreaterThanTwice", "&amp;gt;", "&gt;"}, RepairCase{"EmDash", "a&#8212;b", "a-b"},
        RepairCase{"EmDashTwice", "&amp;#8212;", "-"}, RepairCase{"SAcuteReference", "&#347;", u16(u"\u0153")},
        RepairCase{"SAcuteReferenceTwice", "&amp;#347;", u16(u"\u0153")}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(LineEnds, DecodeHtmlRepair,
    testing::Values(RepairCase{"LoneLf", "a\nb", "a\r\nb"}, RepairCase{"CrLf", "a\r\nb", "a\r\r\nb"},
        RepairCase{"TwoLf", "\n\n", "\r\n\r\n"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(Quotes, DecodeHtmlRepair,
    testing::Values(RepairCase{"Two", "\"\"", "\""}, RepairCase{"Three", "\"\"\"", "\"\""},
        RepairCase{"Four", "\"\"\"\"", "\"\""}, RepairCase{"Five", "\"\"\"\"\"", "\"\"\""},
        RepairCase{"TwoPairsApart", "a\"\"b\"\"c", "a\"b\"c"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(Letters, DecodeHtmlRepair,
    testing::Values(RepairCase{"Utf8AeOeAa", u16(u"\u00c3\u00a6\u00c3\u00b8\u00c3\u00a5"), u16(u"\u00e6\u00f8\u00e5")},
        RepairCase{"SixCharacterRun", u16(u"x\u00e2\u2020\u0090\u00c3\u2020ly"), u16(u"x\u00e6y")},
        RepairCase{"SixCharacterRunAfterUtf8", u16(u"\u00c3\u00a6\u00e2\u2020\u0090\u00c3\u2020l\u00c3\u00a5"),
            u16(u"\u00e6\u00e6\u00e5")},
        RepairCase{"PercentAe", "%C3%A6", u16(u"\u00e6")}, RepairCase{"Pilcrow", u16(u"\u00b6"), u16(u"\u0153")},
        RepairCase{"PlusMinus", u16(u"\u00b1"), u16(u"\u00b9")},
        RepairCase{"PolishWord", u16(u"\u00b6wi\u00b1t"), u16(u"\u0153wi\u00b9t")}),
    CaseName());

// The reply reaches the repair through the byte decoder; the six-character run exists only when the reply is not
// valid UTF-8 as a whole and its bytes are read as Windows-1252, byte 90 included.
TEST(DecodeHtmlOfDecodedReply, RepairsUtf8ReadAsWindows1252)
{
    QString text = Codec::decode(QByteArray("\xE2\x86\x90\xC3\x86l \xC3\xA6 \xB6 &amp;lt;"));
    EXPECT_EQ(DecodeHtml(text), u16(u"\u00e6 \u00e6 \u0153 &lt;"));
}

} // namespace
