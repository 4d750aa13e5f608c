#include "ReplaceAll.h"
#include "QtPrinters.h"
#include "modGoogleTranslate.h"

#include <gtest/gtest.h>

namespace {

struct ReplaceCase {
    const char* name;
    QString text, find, replacement, expected;
};

class ReplaceAll : public testing::TestWithParam<ReplaceCase>
{
};

TEST_P(ReplaceAll, OnePassLeftToRightWithoutOverlap)
{
    const ReplaceCase& c = GetParam();
    EXPECT_EQ(modGoogleTranslate::replaceAll(c.text, c.find, c.replacement), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplaceAll,
    testing::Values(ReplaceCase{"NoMatch", "abc", "x", "y", "abc"}, ReplaceCase{"Empty", "", "x", "y", ""},
        ReplaceCase{"EmptyFindChangesNothing", "abc", "", "y", "abc"},
        ReplaceCase{"Growing", "a\nb\n", "\n", "\r\n", "a\r\nb\r\n"},
        ReplaceCase{"WrittenTextIsNotSearchedAgain", "\r\n", "\n", "\r\n", "\r\r\n"},
        ReplaceCase{"NoOverlap", "aaa", "aa", "b", "ba"}, ReplaceCase{"Shrinking", "x<<y<<", "<<", "~", "x~y~"},
        ReplaceCase{"CaseSensitive", "Ab ab", "ab", "X", "Ab X"}, ReplaceCase{"ToNothing", "a--b", "-", "", "ab"}),
    CaseName());

struct ReasonCase {
    const char* name;
    QString reply, reason;
};

class ReplyReason : public testing::TestWithParam<ReasonCase>
{
};

TEST_P(ReplyReason, IsTheServicesOwnWords)
{
    EXPECT_EQ(modGoogleTranslate::ReplyFailureReason(GetParam().reply), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplyReason,
    testing::Values(
        ReasonCase{"Refusal",
            R"x({"responseData": null, "responseDetails": "DeepL: quota exceeded (456)", "responseStatus": 503})x",
            "DeepL: quota exceeded (456)"},
        ReasonCase{"EscapedText", R"({"responseDetails": "a \"b\"\nc"})", "a \"b\"\nc"},
        ReasonCase{"NullDetails", R"({"responseData": {"translatedText":"x"}, "responseDetails": null})", ""},
        ReasonCase{"HtmlPage", "<html><body>502 Bad Gateway</body></html>", ""}, ReasonCase{"Empty", "", ""}),
    CaseName());

} // namespace
