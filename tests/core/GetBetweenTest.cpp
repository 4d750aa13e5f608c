#include "QtPrinters.h"
#include "modGoogleTranslate.h"

#include <gtest/gtest.h>

using modGoogleTranslate::GetBetween;

namespace {

struct BetweenCase {
    const char* name;
    QString source;
    QString startMarker;
    QString endMarker;
    QString expected;
};

void PrintTo(const BetweenCase& c, std::ostream* os)
{
    *os << c.name;
}

class GetBetweenCut : public testing::TestWithParam<BetweenCase>
{
};

TEST_P(GetBetweenCut, CutsTheValue)
{
    const BetweenCase& c = GetParam();
    EXPECT_EQ(GetBetween(c.source, c.startMarker, c.endMarker), c.expected);
}

const QString kName = QStringLiteral("translatedText");
const QString kEnd = QStringLiteral("},");

INSTANTIATE_TEST_SUITE_P(Replies, GetBetweenCut,
    testing::Values(BetweenCase{"WorkedExample", R"([{"translatedText":"Hallo"},{}])", kName, kEnd, "Hallo"},
        BetweenCase{"FurtherField", R"([{"translatedText":"Hallo","detected":"de"},{}])", kName, kEnd,
            R"(Hallo","detected":"de)"},
        BetweenCase{"EmptyValue", R"({"translatedText":""},)", kName, kEnd, ""},
        BetweenCase{"CapitalT", R"({"TranslatedText":"Hej"},)", kName, kEnd, "Hej"},
        BetweenCase{"AllCapitals", R"({"TRANSLATEDTEXT":"Hej"},)", kName, kEnd, "Hej"},
        BetweenCase{"EndMarkerAlsoBefore", R"(},{"translatedText":"Hallo"},)", kName, kEnd, "Hallo"},
        BetweenCase{"FirstOccurrenceWins", R"({"translatedText":"a"},{"translatedText":"b"},)", kName, kEnd, "a"},
        BetweenCase{"ValueHoldsQuotesAndBraces", R"({"translatedText":"x } \"y\""},)", kName, kEnd, R"(x } \"y\")"},
        BetweenCase{"NonAscii", QString::fromUtf16(u"{\"translatedText\":\"\u00c3\u00a6 \u20ac\"},"), kName, kEnd,
            QString::fromUtf16(u"\u00c3\u00a6 \u20ac")}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(NothingToCut, GetBetweenCut,
    testing::Values(BetweenCase{"EmptySource", "", kName, kEnd, ""},
        BetweenCase{"NoStartMarker", R"({"responseData":null,"responseStatus":400},)", kName, kEnd, ""},
        BetweenCase{"NoEndMarker", R"({"translatedText":"Hallo"})", kName, kEnd, ""},
        BetweenCase{"EndMarkerOnlyBefore", R"(},{"translatedText":"Hallo"})", kName, kEnd, ""},
        BetweenCase{"LengthZero", R"(translatedText":"x},)", kName, kEnd, ""},
        BetweenCase{"LengthMinusOne", R"(translatedText":"},)", kName, kEnd, ""},
        BetweenCase{"LengthMinusTwo", R"(translatedText":},)", kName, kEnd, ""},
        BetweenCase{"EndRightAfterName", R"({"translatedText"},{})", kName, kEnd, ""},
        BetweenCase{"EndInsideSkippedCharacters", R"(translatedText},)", kName, kEnd, ""}),
    CaseName());

// Both markers are sought without regard to case, not only the service's field name.
INSTANTIATE_TEST_SUITE_P(OtherMarkers, GetBetweenCut,
    testing::Values(BetweenCase{"EndMarkerCaseBlind", R"(k":"value"EN)", "K", "en", "value"},
        BetweenCase{
            "NonAsciiMarker", QString::fromUtf16(u"\u00c6\":\"v\"},"), QString::fromUtf16(u"\u00e6"), kEnd, "v"}),
    CaseName());

TEST(GetBetweenLongReply, CutsValuesBeyondSixteenBitPositions)
{
    const QString padding(40000, u' ');
    const QString value(50000, u'a');
    const QString reply = QStringLiteral("{\"pad\":\"") + padding + QStringLiteral("\",\"translatedText\":\"") + value
        + QStringLiteral("\"},{}");
    ASSERT_GT(reply.size(), 90000);
    EXPECT_EQ(GetBetween(reply, kName, kEnd), value);
}

} // namespace
