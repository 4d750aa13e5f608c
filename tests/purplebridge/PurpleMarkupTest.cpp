#include "PurpleMarkup.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

struct MarkupCase {
    const char* name;
    QString from;
    QString to;
    friend void PrintTo(const MarkupCase& c, std::ostream* os) { *os << c.name; }
};

class MarkupToPlain : public ::testing::TestWithParam<MarkupCase>
{
};

TEST_P(MarkupToPlain, ShowsWhatTheMessageReads)
{
    EXPECT_EQ(markupToPlain(GetParam().from), GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(Incoming, MarkupToPlain,
    ::testing::Values(MarkupCase{"Plain", u"hola amigo"_s, u"hola amigo"_s},
        MarkupCase{"TagsRemoved", u"<B>bold</B> and <font color=\"#ff0000\">red</font>"_s, u"bold and red"_s},
        // What libpurple makes of a partner who typed markup: it reaches the window as typed.
        MarkupCase{
            "EscapedMarkupShownLiterally", u"hola &lt;b&gt;amigo&lt;/b&gt; &amp; co"_s, u"hola <b>amigo</b> & co"_s},
        MarkupCase{"EscapeDecodedOnce", u"&amp;lt;"_s, u"&lt;"_s},
        MarkupCase{"BreaksAreCr", u"one<br>two<BR/>three<br class=\"x\">four"_s, u"one\rtwo\rthree\rfour"_s},
        MarkupCase{"LineFeedsAreCr", u"one\ntwo\r\nthree\rfour"_s, u"one\rtwo\rthree\rfour"_s},
        MarkupCase{"TagStartingWithBrIsNoBreak", u"a<bridge>b"_s, u"ab"_s},
        MarkupCase{"NamedEntities", u"&quot;q&quot; &apos;a&apos; x&nbsp;y &copy;"_s, u"\"q\" 'a' x y \u00a9"_s},
        MarkupCase{"NumericEntities", u"&#233;&#xE9;&#X1F600;&#39;"_s, u"\u00e9\u00e9\U0001F600'"_s},
        MarkupCase{"UnknownEntityKept", u"&bogus; &#; &#xZZ; &#0; &#xD800; &#1114112;"_s,
            u"&bogus; &#; &#xZZ; &#0; &#xD800; &#1114112;"_s},
        MarkupCase{"BareAmpersandKept", u"salt & pepper; more"_s, u"salt & pepper; more"_s},
        MarkupCase{"LongRunAfterAmpersandKept", u"&abcdefghijklmnop;"_s, u"&abcdefghijklmnop;"_s},
        MarkupCase{"UnclosedTagKeptAsText", u"3 <4"_s, u"3 <4"_s},
        MarkupCase{"EncodedControlDropped", u"a&#7;b&#x1B;c&#10;d"_s, u"abc\rd"_s},
        MarkupCase{"RawControlsDropped", u"a\u0002b\u001fc\td\u007f"_s, u"abc\td"_s},
        MarkupCase{"EntityInsideTagIgnored", u"<a href=\"x&amp;y\">link</a>"_s, u"link"_s}),
    CaseName());

class PlainToMarkup : public ::testing::TestWithParam<MarkupCase>
{
};

TEST_P(PlainToMarkup, IsShownLiterally)
{
    EXPECT_EQ(plainToMarkup(GetParam().from), GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(Outgoing, PlainToMarkup,
    ::testing::Values(MarkupCase{"Plain", u"Buenos d\u00edas"_s, u"Buenos d\u00edas"_s},
        MarkupCase{"MarkupEscaped", u"<b>5 > 3 & \"x\"</b>"_s, u"&lt;b&gt;5 &gt; 3 &amp; &quot;x&quot;&lt;/b&gt;"_s},
        MarkupCase{"EntityTextEscaped", u"&amp; &#60;"_s, u"&amp;amp; &amp;#60;"_s},
        MarkupCase{"LineBreaks", u"one\rtwo\r\nthree\nfour"_s, u"one<br>two<br>three<br>four"_s},
        MarkupCase{"SpacesAndTabKept", u"  a\tb  "_s, u"  a\tb  "_s},
        MarkupCase{"ControlsDropped", u"a\u0002b\u0003c\u0000d"_s, u"abcd"_s}),
    CaseName());

class MarkupRoundTrip : public ::testing::TestWithParam<MarkupCase>
{
};

TEST_P(MarkupRoundTrip, ComesBackAsSent)
{
    EXPECT_EQ(markupToPlain(plainToMarkup(GetParam().from)), GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(BothWays, MarkupRoundTrip,
    ::testing::Values(MarkupCase{"Markup", u"<i>a</i> &amp; <br> &lt;"_s, u"<i>a</i> &amp; <br> &lt;"_s},
        MarkupCase{"Lines", u"one\rtwo\r\nthree"_s, u"one\rtwo\rthree"_s},
        MarkupCase{"Unicode", u"\u00bfQu\u00e9 tal? \u2713 \U0001F600"_s, u"\u00bfQu\u00e9 tal? \u2713 \U0001F600"_s}),
    CaseName());

} // namespace
