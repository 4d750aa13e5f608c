#include "QtPrinters.h"
#include "modGoogleTranslate.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

using modGoogleTranslate::BuildRequestUrl;
using modGoogleTranslate::TranslateOps;
using modGoogleTranslate::TranslateText;

namespace {

const QString kLocalBase = QStringLiteral("http://127.0.0.1:2738/ajax/services/language/translate?");
const QString kRemoteBase = QStringLiteral("http://translate.example/ajax/services/language/translate?");
const QString kAutoNotice = QStringLiteral("Cant use autoDetect to the language you want to translate.");
const QString kOfflineNotice = QStringLiteral("You need a internet Connection to be translate your text.");

// Records what a translation asks of the world, in order.
struct World {
    QStringList calls;
    QString reply = QStringLiteral(R"([{"translatedText":"Hallo"},{}])");
    bool online = true;

    TranslateOps ops(const QString& serviceBase = kRemoteBase)
    {
        TranslateOps o;
        o.getUrl = [this](const QString& url) {
            calls << QStringLiteral("getUrl ") + url;
            return reply;
        };
        o.isOnline = [this] {
            calls << QStringLiteral("isOnline");
            return online;
        };
        o.notice = [this](const QString& text) { calls << QStringLiteral("notice ") + text; };
        o.serviceBase = serviceBase;
        return o;
    }
};

// --- The request URL: query values are percent-encoded from their UTF-8 bytes.

struct UrlCase {
    const char* name;
    QString text;
    QString fromCode;
    QString toCode;
    QString query;
};

void PrintTo(const UrlCase& c, std::ostream* os)
{
    *os << c.name;
}

class RequestUrl : public testing::TestWithParam<UrlCase>
{
};

TEST_P(RequestUrl, EncodesTheQueryValues)
{
    const UrlCase& c = GetParam();
    EXPECT_EQ(BuildRequestUrl(kLocalBase, c.text, c.fromCode, c.toCode), kLocalBase + c.query);
}

INSTANTIATE_TEST_SUITE_P(Cases, RequestUrl,
    testing::Values(UrlCase{"Plain", "Hello", "en", "de", "v=1.0&q=Hello&langpair=en|de"},
        UrlCase{"EmptyText", "", "en", "de", "v=1.0&q=&langpair=en|de"},
        UrlCase{"Space", "good day", "en", "de", "v=1.0&q=good%20day&langpair=en|de"},
        UrlCase{"Ampersand", "a&langpair=x|y", "en", "de", "v=1.0&q=a%26langpair%3Dx%7Cy&langpair=en|de"},
        UrlCase{"Hash", "#1", "en", "de", "v=1.0&q=%231&langpair=en|de"},
        UrlCase{"Plus", "1+1", "en", "de", "v=1.0&q=1%2B1&langpair=en|de"},
        UrlCase{"Percent", "100%0A", "en", "de", "v=1.0&q=100%250A&langpair=en|de"},
        UrlCase{"NonAscii", QString::fromUtf16(u"bl\u00e5 \u20ac"), "da", "en",
            "v=1.0&q=bl%C3%A5%20%E2%82%AC&langpair=da|en"},
        UrlCase{"CrLf", "a\r\nb", "en", "de", "v=1.0&q=a%0D%0Ab&langpair=en|de"},
        UrlCase{"LoneLf", "a\nb", "en", "de", "v=1.0&q=a%0Ab&langpair=en|de"},
        UrlCase{"LoneCr", "a\rb", "en", "de", "v=1.0&q=a%0Db&langpair=en|de"},
        UrlCase{"Unreserved", "A-z_0.9~", "en", "de", "v=1.0&q=A-z_0.9~&langpair=en|de"},
        UrlCase{"ChineseCode", "x", "zh-CN", "auto", "v=1.0&q=x&langpair=zh-CN|auto"},
        UrlCase{"EmptyTarget", "x", "en", "", "v=1.0&q=x&langpair=en|"},
        UrlCase{"CodesEscaped", "x", "a b", "d&e", "v=1.0&q=x&langpair=a%20b|d%26e"}),
    CaseName());

// --- Names to codes on the way into the request.

struct PairCase {
    const char* name;
    QString fromName;
    QString toName;
    QString langpair;
};

void PrintTo(const PairCase& c, std::ostream* os)
{
    *os << c.name;
}

class TranslateLangpair : public testing::TestWithParam<PairCase>
{
};

TEST_P(TranslateLangpair, SendsTheResolvedCodes)
{
    const PairCase& c = GetParam();
    World world;
    EXPECT_EQ(TranslateText(QStringLiteral("Hello"), c.fromName, c.toName, world.ops()), QStringLiteral("Hallo"));
    ASSERT_EQ(world.calls.size(), 2) << world.calls.join(u'\n');
    EXPECT_EQ(world.calls.at(0), QStringLiteral("isOnline"));
    EXPECT_EQ(world.calls.at(1), QStringLiteral("getUrl ") + kRemoteBase + "v=1.0&q=Hello&langpair=" + c.langpair);
}

INSTANTIATE_TEST_SUITE_P(Cases, TranslateLangpair,
    testing::Values(PairCase{"EnglishGerman", "English", "German", "en|de"},
        PairCase{"TypedSwedishKoreansk", "Swedish", "Koreansk", "sv|ko"},
        PairCase{"ListedPortugueseSource", "Portuguese", "English", "pt|en"},
        PairCase{"UnknownSource", "Klingon", "English", "auto|en"},
        PairCase{"Kinisisk", "Kinisisk", "English", "zh-CN|en"}, PairCase{"TwoLetterTarget", "English", "de", "en|de"},
        PairCase{"OneLetterTarget", "English", "x", "en|x"}, PairCase{"EmptyTarget", "English", "", "en|"},
        PairCase{"TwoLetterSource", "de", "English", "de|en"}, PairCase{"EmptySource", "", "English", "|en"},
        PairCase{"ChineseCodeAsSource", "zh-CN", "English", "auto|en"},
        PairCase{"TwoLetterTargetNotACode", "English", "Xy", "en|Xy"}),
    CaseName());

// --- Targets that resolve to "auto": one notice, nothing else asked of the world.

struct AutoTargetCase {
    const char* name;
    QString toName;
};

void PrintTo(const AutoTargetCase& c, std::ostream* os)
{
    *os << c.name;
}

class TranslateAutoTarget : public testing::TestWithParam<AutoTargetCase>
{
};

TEST_P(TranslateAutoTarget, NoticesAndFetchesNothing)
{
    World world;
    world.online = false; // both failures apply: only the first is noticed
    EXPECT_EQ(TranslateText(QStringLiteral("Hello"), QStringLiteral("English"), GetParam().toName, world.ops()),
        QStringLiteral("error"));
    EXPECT_EQ(world.calls, QStringList{QStringLiteral("notice ") + kAutoNotice});
}

INSTANTIATE_TEST_SUITE_P(Cases, TranslateAutoTarget,
    testing::Values(AutoTargetCase{"UnknownName", "Klingon"}, AutoTargetCase{"AutoTyped", "auto"},
        AutoTargetCase{"ChineseCodeTyped", "zh-CN"}, AutoTargetCase{"LowerCase", "german"},
        AutoTargetCase{"CombiningTilde", QString::fromUtf16(u"Espan\u0303ol")}, AutoTargetCase{"ThreeSpaces", "   "}),
    CaseName());

// --- Connectivity: checked only for a service elsewhere.

struct ConnectivityCase {
    const char* name;
    QString serviceBase;
    bool online;
    bool checksConnection;
    bool fetches;
};

void PrintTo(const ConnectivityCase& c, std::ostream* os)
{
    *os << c.name;
}

class TranslateConnectivity : public testing::TestWithParam<ConnectivityCase>
{
};

TEST_P(TranslateConnectivity, ChecksOnlyWhenTheServiceIsElsewhere)
{
    const ConnectivityCase& c = GetParam();
    World world;
    world.online = c.online;
    const QString result = TranslateText(
        QStringLiteral("Hello"), QStringLiteral("English"), QStringLiteral("German"), world.ops(c.serviceBase));
    QStringList expected;
    if (c.checksConnection)
        expected << QStringLiteral("isOnline");
    if (c.fetches)
        expected << QStringLiteral("getUrl ") + c.serviceBase + "v=1.0&q=Hello&langpair=en|de";
    else
        expected << QStringLiteral("notice ") + kOfflineNotice;
    EXPECT_EQ(world.calls, expected);
    EXPECT_EQ(result, c.fetches ? QStringLiteral("Hallo") : QStringLiteral("error"));
}

INSTANTIATE_TEST_SUITE_P(Cases, TranslateConnectivity,
    testing::Values(ConnectivityCase{"RemoteOnline", kRemoteBase, true, true, true},
        ConnectivityCase{"RemoteOffline", kRemoteBase, false, true, false},
        ConnectivityCase{"NearLoopbackOffline", "http://128.0.0.1/t?", false, true, false},
        ConnectivityCase{"LoopbackOffline", kLocalBase, false, false, true},
        ConnectivityCase{"LocalhostOffline", "http://localhost/t?", false, false, true},
        ConnectivityCase{"Ipv6LoopbackOffline", "http://[::1]:80/t?", false, false, true}),
    CaseName());

// --- What the reply makes of the result; never a notice.

struct ReplyCase {
    const char* name;
    QString reply;
    QString result;
};

void PrintTo(const ReplyCase& c, std::ostream* os)
{
    *os << c.name;
}

class TranslateReply : public testing::TestWithParam<ReplyCase>
{
};

TEST_P(TranslateReply, YieldsTheValueOrError)
{
    World world;
    world.reply = GetParam().reply;
    EXPECT_EQ(TranslateText(QStringLiteral("Hello"), QStringLiteral("English"), QStringLiteral("German"), world.ops()),
        GetParam().result);
    for (const QString& call : world.calls)
        EXPECT_FALSE(call.startsWith(QStringLiteral("notice"))) << call;
}

INSTANTIATE_TEST_SUITE_P(Cases, TranslateReply,
    testing::Values(ReplyCase{"Value", R"([{"translatedText":"Hallo"},{}])", "Hallo"},
        ReplyCase{"UpperCaseField", R"({"responseData":{"TRANSLATEDTEXT":"Hallo"},)", "Hallo"},
        ReplyCase{"EmptyValue", R"({"responseData":{"translatedText":""},"responseStatus":200})", ""},
        ReplyCase{"ValueUnclosed", R"({"translatedText":"Hallo"})", ""}, ReplyCase{"NothingFetched", "", "error"},
        ReplyCase{"HtmlErrorPage", "<html><body>502 Bad Gateway</body></html>", "error"},
        ReplyCase{"JsonWithoutField", R"({"responseData":null,"responseStatus":400},)", "error"}),
    CaseName());

// --- Notices carry the message unchanged, whatever the operator's language.

TEST(TranslateNotices, ShowTheMessageWhateverTheSourceLanguage)
{
    for (const QString& from : {QStringLiteral("English"), QStringLiteral("Finsk"), QString()}) {
        World world;
        world.online = false;
        TranslateText(QStringLiteral("x"), from, QStringLiteral("German"), world.ops());
        EXPECT_EQ(world.calls.last(), QStringLiteral("notice ") + kOfflineNotice);
    }
}

// --- Operations that are missing or change underway.

TEST(TranslateMissingOps, BehaveAsNothingFetchedOnlineAndSilent)
{
    TranslateOps none;
    none.serviceBase = kRemoteBase;
    EXPECT_EQ(TranslateText(QStringLiteral("x"), QStringLiteral("English"), QStringLiteral("German"), none),
        QStringLiteral("error"));
    EXPECT_EQ(TranslateText(QStringLiteral("x"), QStringLiteral("English"), QStringLiteral("auto"), none),
        QStringLiteral("error"));

    World world;
    TranslateOps onlyFetch = world.ops();
    onlyFetch.isOnline = nullptr;
    EXPECT_EQ(TranslateText(QStringLiteral("x"), QStringLiteral("English"), QStringLiteral("German"), onlyFetch),
        QStringLiteral("Hallo"));
    EXPECT_EQ(world.calls.size(), 1);
}

class TranslateInstalledOps : public testing::Test
{
protected:
    void TearDown() override { modGoogleTranslate::setTranslateOps({}); }
};

TEST_F(TranslateInstalledOps, AreUsedByTheShortForm)
{
    World world;
    modGoogleTranslate::setTranslateOps(world.ops(kLocalBase));
    EXPECT_EQ(modGoogleTranslate::translateOps().serviceBase, kLocalBase);
    EXPECT_EQ(TranslateText(QStringLiteral("a b"), QStringLiteral("English"), QStringLiteral("German")),
        QStringLiteral("Hallo"));
    EXPECT_EQ(world.calls, QStringList{QStringLiteral("getUrl ") + kLocalBase + "v=1.0&q=a%20b&langpair=en|de"});
}

// A modal notice lets other handlers run; one of them may install new operations meanwhile.
TEST_F(TranslateInstalledOps, SurviveBeingReplacedDuringANotice)
{
    auto shown = std::make_shared<QStringList>();
    TranslateOps ops;
    ops.serviceBase = kRemoteBase;
    ops.isOnline = [] { return false; };
    ops.notice = [shown](const QString& text) {
        modGoogleTranslate::setTranslateOps({});
        *shown << text; // the capture must still be alive here
    };
    modGoogleTranslate::setTranslateOps(ops);
    ops = {};
    EXPECT_EQ(TranslateText(QStringLiteral("x"), QStringLiteral("English"), QStringLiteral("German")),
        QStringLiteral("error"));
    EXPECT_EQ(*shown, QStringList{kOfflineNotice});
}

} // namespace
