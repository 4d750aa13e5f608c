// Each provider engine against a loopback fake of its documented API: the exact request, the answer read, every
// refusal told in words, and the languages its query names.
#include "FakeProviders.h"
#include "ServiceTestSupport.h"
#include "engines/DeepLEngine.h"
#include "engines/GoogleEngine.h"
#include "engines/LibreTranslateEngine.h"
#include "engines/LlmEngine.h"

#include <gtest/gtest.h>

#include <memory>

using namespace servicetest;
using service::PairSupport;
using Status = service::TranslationResult::Status;

namespace {

const QString kKey = u"s3cr3t-k3y:fx"_qs;

std::unique_ptr<service::HttpEngine> makeEngine(
    const QString& id, const QUrl& url, const QString& key = kKey, int timeoutMs = 10000)
{
    const service::HttpEngineOptions options{url, key, timeoutMs, {}};
    if (id == u"deepl")
        return std::make_unique<service::DeepLEngine>(options);
    if (id == u"google")
        return std::make_unique<service::GoogleEngine>(options);
    if (id == u"libretranslate")
        return std::make_unique<service::LibreTranslateEngine>(options);
    return std::make_unique<service::LlmEngine>(options, u"m"_qs);
}

struct WireCase {
    const char* name;
    const char* engine;
    QString urlPrefix;
    QString key;
    QString source, target;
    QString path; ///< the request line's target
    QByteArray authorization; ///< empty: none may be sent
    QJsonObject body;
    QString translation, detected;
};

const QString kText = u"Hello \"world\"\nline 2"_qs;

const QList<WireCase> kWire = {
    {"deepl", "deepl", {}, kKey, u"en"_qs, u"de"_qs, u"/v2/translate"_qs, "DeepL-Auth-Key " + kKey.toUtf8(),
        {{u"text"_qs, QJsonArray{kText}}, {u"target_lang"_qs, u"DE"_qs}, {u"source_lang"_qs, u"EN"_qs}},
        u"[DE] "_qs + kText, u"en"_qs},
    {"deeplVariantsAndAuto", "deepl", {}, kKey, u"auto"_qs, u"en"_qs, u"/v2/translate"_qs,
        "DeepL-Auth-Key " + kKey.toUtf8(), {{u"text"_qs, QJsonArray{kText}}, {u"target_lang"_qs, u"EN-GB"_qs}},
        u"[EN-GB] "_qs + kText, u"en"_qs},
    {"deeplNorwegianToChinese", "deepl", {}, kKey, u"no"_qs, u"zh-CN"_qs, u"/v2/translate"_qs,
        "DeepL-Auth-Key " + kKey.toUtf8(),
        {{u"text"_qs, QJsonArray{kText}}, {u"target_lang"_qs, u"ZH-HANS"_qs}, {u"source_lang"_qs, u"NB"_qs}},
        u"[ZH-HANS] "_qs + kText, u"no"_qs},
    {"google", "google", u"/prefix"_qs, u"AIza+k&y"_qs, u"en"_qs, u"zh-CN"_qs,
        u"/prefix/language/translate/v2?key=AIza%2Bk%26y"_qs, {},
        {{u"q"_qs, kText}, {u"source"_qs, u"en"_qs}, {u"target"_qs, u"zh-CN"_qs}, {u"format"_qs, u"text"_qs}},
        u"[zh-CN] "_qs + kText, {}},
    {"googleAuto", "google", {}, u"k"_qs, u"auto"_qs, u"no"_qs, u"/language/translate/v2?key=k"_qs, {},
        {{u"q"_qs, kText}, {u"target"_qs, u"no"_qs}, {u"format"_qs, u"text"_qs}}, u"[no] "_qs + kText, u"en"_qs},
    {"libreTranslateWithoutKey", "libretranslate", {}, {}, u"no"_qs, u"zh-CN"_qs, u"/translate"_qs, {},
        {{u"q"_qs, kText}, {u"source"_qs, u"nb"_qs}, {u"target"_qs, u"zh"_qs}, {u"format"_qs, u"text"_qs}},
        u"[zh] "_qs + kText, {}},
    {"llmWithKey", "llm", {}, u"sk-1"_qs, u"en"_qs, u"de"_qs, u"/v1/chat/completions"_qs, "Bearer sk-1",
        {{u"model"_qs, u"m"_qs},
            {u"messages"_qs,
                QJsonArray{QJsonObject{{u"role"_qs, u"system"_qs},
                               {u"content"_qs, service::LlmEngine::instruction(u"en"_qs, u"de"_qs)}},
                    QJsonObject{{u"role"_qs, u"user"_qs}, {u"content"_qs, service::LlmEngine::userMessage(kText)}}}},
            {u"stream"_qs, false}},
        u"[German] "_qs + kText, {}},
};

class EngineWire : public ::testing::TestWithParam<WireCase>
{
};

} // namespace

TEST_P(EngineWire, sendsTheDocumentedRequestAndReadsTheAnswer)
{
    const WireCase& c = GetParam();
    FakeHttpServer fake;
    fake.prefix = c.urlPrefix;
    QStringList all = {u"DE"_qs, u"EN"_qs, u"EN-GB"_qs, u"NB"_qs, u"ZH-HANS"_qs, u"ZH"_qs};
    if (QByteArray(c.engine) == "deepl")
        fake.handler = deepl(c.key, all, all);
    else if (QByteArray(c.engine) == "google")
        fake.handler = google(c.key, {u"en"_qs, u"zh-CN"_qs, u"no"_qs});
    else if (QByteArray(c.engine) == "libretranslate")
        fake.handler = libreTranslate(c.key, {u"nb"_qs, u"zh"_qs});
    else
        fake.handler = chatCompletions(c.key, u"m"_qs, u"/v1/chat/completions"_qs);
    auto engine = makeEngine(QString::fromLatin1(c.engine), fake.url(c.urlPrefix), c.key);

    const auto result = translateWith(*engine, kText, c.source, c.target);
    EXPECT_EQ(result.status, Status::Ok) << result.error;
    EXPECT_EQ(result.text, c.translation);
    EXPECT_EQ(result.detectedSource, c.detected);
    const auto sent
        = std::find_if(fake.requests.begin(), fake.requests.end(), [](const Request& r) { return r.method == "POST"; });
    ASSERT_NE(sent, fake.requests.end());
    EXPECT_EQ(sent->target, c.path.toUtf8());
    EXPECT_EQ(sent->headers.value("content-type"), "application/json");
    EXPECT_EQ(sent->headers.value("authorization"), c.authorization);
    EXPECT_EQ(sent->json().toObject(), c.body);
}

INSTANTIATE_TEST_SUITE_P(Providers, EngineWire, ::testing::ValuesIn(kWire), CaseName());

TEST(EngineWire, whereEachEngineLives)
{
    EXPECT_EQ(service::DeepLEngine::defaultUrl(u"abc:fx"_qs), QUrl(u"https://api-free.deepl.com"_qs));
    EXPECT_EQ(service::DeepLEngine::defaultUrl(u"abc"_qs), QUrl(u"https://api.deepl.com"_qs));
    EXPECT_EQ(service::GoogleEngine({{}, u"k"_qs, 1000, {}}).location(), u"https://translation.googleapis.com"_qs);

    // An LLM base address may end in /v1 already.
    FakeHttpServer fake;
    fake.handler = chatCompletions({}, u"m"_qs, u"/v1/chat/completions"_qs);
    auto engine = makeEngine(u"llm"_qs, fake.url(u"/v1/"_qs), {});
    EXPECT_EQ(translateWith(*engine, u"x"_qs, u"auto"_qs, u"zh-CN"_qs).text, u"[Chinese (Simplified)] x"_qs);
    EXPECT_FALSE(fake.requests.value(0).headers.contains("authorization"));
    EXPECT_TRUE(service::LlmEngine::instruction(u"auto"_qs, u"no"_qs).contains(u"into Norwegian;"_qs));
}

namespace {

struct ReasonCase {
    const char* name;
    const char* engine;
    Response answer; ///< status 0: nothing listens there
    Status status;
    QString error; ///< "{url}" stands for the engine's address
    int restMs = 0;
};

QJsonObject message(const char* name, const QString& text)
{
    return {{QString::fromLatin1(name), text}};
}

const QList<ReasonCase> kReasons = {
    {"deeplQuota", "deepl", json(456, message("message", u"Quota exceeded"_qs)), Status::Failed,
        u"DeepL: quota exceeded (456)"_qs, 600000},
    {"deeplBadKey", "deepl", json(403, message("message", u"Wrong key"_qs)), Status::Failed,
        u"DeepL: key refused (403: Wrong key): check key= in [deepl] or VERBOLT_DEEPL_KEY"_qs},
    {"deeplOverloaded", "deepl", json(529, message("message", u"Too many requests"_qs)), Status::Failed,
        u"DeepL: too many requests (529: Too many requests)"_qs, 30000},
    {"deeplTooManyRequests", "deepl", {429, "{}", "Retry-After: 7\r\n", false}, Status::Failed,
        u"DeepL: too many requests (429)"_qs, 7000},
    {"deeplUnknownTarget", "deepl", json(400, message("message", u"Value for 'target_lang' not supported."_qs)),
        Status::UnknownPair, u"DeepL: Value for 'target_lang' not supported."_qs},
    {"deeplTextTooLong", "deepl", json(413, {}), Status::TooLong, u"DeepL: text too long (413)"_qs},
    {"deeplBreakdown", "deepl", json(503, {}), Status::Failed, u"DeepL: server error (503)"_qs},
    {"deeplGarbage", "deepl", {200, "<html>", {}, false}, Status::Failed,
        u"DeepL: unexpected answer (no translations[0].text)"_qs},
    {"googleBadKey", "google",
        googleError(
            400, u"API key not valid. Please pass a valid API key."_qs, u"badRequest"_qs, u"API_KEY_INVALID"_qs),
        Status::Failed,
        u"Google: key refused (400: API key not valid. Please pass a valid API key.): check key= in [google] or "
        "VERBOLT_GOOGLE_KEY"_qs},
    {"googlePerMinute", "google",
        googleError(429, u"Quota exceeded for quota metric 'v2 and v3 general model characters' per minute"_qs,
            u"rateLimitExceeded"_qs, u"RATE_LIMIT_EXCEEDED"_qs, u"RESOURCE_EXHAUSTED"_qs),
        Status::Failed,
        u"Google: too many requests (429: Quota exceeded for quota metric 'v2 and v3 general model characters' per "
        "minute)"_qs,
        60000},
    {"googleUserRate", "google", googleError(403, u"User Rate Limit Exceeded"_qs, u"userRateLimitExceeded"_qs),
        Status::Failed, u"Google: too many requests (403: User Rate Limit Exceeded)"_qs, 60000},
    {"googleDailyLimit", "google", googleError(403, u"Daily Limit Exceeded"_qs, u"dailyLimitExceeded"_qs),
        Status::Failed, u"Google: quota exceeded (403)"_qs, 600000},
    {"googleApiNotEnabled", "google",
        googleError(403, u"Cloud Translation API has not been used in project 12 before or it is disabled."_qs,
            u"accessNotConfigured"_qs, u"SERVICE_DISABLED"_qs),
        Status::Failed,
        u"Google: key refused (403: Cloud Translation API has not been used in project 12 before or it is disabled.): "
        "check key= in [google] or VERBOLT_GOOGLE_KEY"_qs},
    {"googleBadPair", "google", googleError(400, u"Bad language pair: en|xx"_qs, u"badRequest"_qs), Status::UnknownPair,
        u"Google: Bad language pair: en|xx"_qs},
    {"libreTranslateEchoesTheKey", "libretranslate", json(500, message("error", u"no quota for "_qs + kKey)),
        Status::Failed, u"LibreTranslate: server error (500: no quota for (key))"_qs},
    {"libreTranslateWantsAKey", "libretranslate",
        json(400, message("error", u"Visit https://portal.libretranslate.com to get an API key"_qs)), Status::Failed,
        u"LibreTranslate: key refused (400: Visit https://portal.libretranslate.com to get an API key): check key= in "
        "[libretranslate] or VERBOLT_LIBRETRANSLATE_KEY"_qs},
    {"libreTranslateBannedAddress", "libretranslate", json(403, message("error", u"Slowdown: banned"_qs)),
        Status::Failed,
        u"LibreTranslate: key refused (403: Slowdown: banned): check key= in [libretranslate] or "
        "VERBOLT_LIBRETRANSLATE_KEY"_qs},
    {"libreTranslateTextTooLong", "libretranslate",
        json(400, message("error", u"Invalid request: request (6000) exceeds text limit (5000)"_qs)), Status::TooLong,
        u"LibreTranslate: Invalid request: request (6000) exceeds text limit (5000)"_qs},
    {"libreTranslateWrongUrl", "libretranslate", json(404, message("error", u"Not Found"_qs)), Status::Failed,
        u"LibreTranslate at {url} answered 404: Not Found: check url= in [libretranslate]"_qs},
    {"libreTranslateUnreachable", "libretranslate", {0, {}, {}, false}, Status::Failed,
        u"LibreTranslate at {url} unreachable: connection refused"_qs},
    {"libreTranslateSilent", "libretranslate", {200, {}, {}, true}, Status::Failed,
        u"LibreTranslate: no answer within 0.3 s"_qs},
    {"llmWithoutTheModel", "llm",
        json(404, QJsonObject{{u"error"_qs, message("message", u"model \"m\" not found, try pulling it first"_qs)}}),
        Status::Failed, u"LLM m: model \"m\" not found, try pulling it first (404): check model= and url= in [llm]"_qs},
    {"llmOutOfCredit", "llm",
        json(429, QJsonObject{{u"error"_qs, QJsonObject{{u"code"_qs, u"insufficient_quota"_qs}}}}), Status::Failed,
        u"LLM m: quota exceeded (429)"_qs, 600000},
    {"llmBadRequest", "llm", json(400, QJsonObject{{u"error"_qs, u"context too long"_qs}}), Status::Failed,
        u"LLM m: context too long"_qs},
    {"llmCutOffAtItsLength", "llm",
        json(200,
            QJsonObject{{u"choices"_qs,
                QJsonArray{QJsonObject{
                    {u"message"_qs, message("content", u"Hal"_qs)}, {u"finish_reason"_qs, u"length"_qs}}}}}),
        Status::Failed, u"LLM m: the reply was cut off at the model's length limit (finish_reason \"length\")"_qs},
    {"llmNullContent", "llm",
        json(200,
            QJsonObject{{u"choices"_qs,
                QJsonArray{QJsonObject{
                    {u"message"_qs,
                        QJsonObject{{u"content"_qs, QJsonValue::Null}, {u"refusal"_qs, u"I can't help with that."_qs}}},
                    {u"finish_reason"_qs, u"stop"_qs}}}}}),
        Status::Failed, u"LLM m: the reply has no text (content null: I can't help with that.)"_qs},
    {"llmEndsInsideItsReasoning", "llm",
        json(200,
            QJsonObject{{u"choices"_qs,
                QJsonArray{QJsonObject{{u"message"_qs, message("content", u"<think>\nFirst I consider"_qs)},
                    {u"finish_reason"_qs, u"stop"_qs}}}}}),
        Status::Failed, u"LLM m: the reply ended inside its reasoning, before a translation"_qs},
};

class EngineReasons : public ::testing::TestWithParam<ReasonCase>
{
};

} // namespace

TEST_P(EngineReasons, everyRefusalSaysWhyWithoutTheKey)
{
    const ReasonCase& c = GetParam();
    FakeHttpServer fake;
    fake.handler = [&](const Request&) { return c.answer; };
    QUrl url = fake.url();
    std::unique_ptr<QTcpServer> closed;
    if (c.answer.status == 0) {
        closed = std::make_unique<QTcpServer>();
        closed->listen(QHostAddress::LocalHost, 0);
        url = QUrl(u"http://127.0.0.1:%1"_qs.arg(closed->serverPort()));
        closed.reset();
    }
    // Only the silent fake needs the short limit; a loaded machine must not turn another case into a time-out.
    auto engine = makeEngine(QString::fromLatin1(c.engine), url, kKey, c.answer.hold ? 300 : 30000);
    const auto result = translateWith(*engine, u"Hello"_qs, u"en"_qs, u"de"_qs);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.error, QString(c.error).replace(u"{url}"_qs, url.toString(QUrl::StripTrailingSlash)));
    EXPECT_EQ(result.restMs, c.restMs);
    EXPECT_FALSE(result.error.contains(u"s3cr3t"_qs));
}

INSTANTIATE_TEST_SUITE_P(Providers, EngineReasons, ::testing::ValuesIn(kReasons), CaseName());

TEST(EngineLanguages, anAnsweredQueryExcludesPairsAFailedOneNever)
{
    FakeHttpServer deeplFake;
    deeplFake.handler = deepl(kKey, {u"EN"_qs, u"DE"_qs, u"NB"_qs}, {u"EN-US"_qs, u"DE"_qs, u"NB"_qs});
    auto deepL = makeEngine(u"deepl"_qs, deeplFake.url());
    EXPECT_EQ(deepL->supports(u"en"_qs, u"ga"_qs), PairSupport::Unknown);
    bool done = false;
    deepL->queryLanguages([&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(deepL->supports(u"en"_qs, u"de"_qs), PairSupport::Yes);
    EXPECT_EQ(deepL->supports(u"auto"_qs, u"no"_qs), PairSupport::Yes);
    EXPECT_EQ(deepL->supports(u"en"_qs, u"ga"_qs), PairSupport::No);
    EXPECT_EQ(
        deepL->pairs(), (QStringList{u"en|de"_qs, u"en|no"_qs, u"de|en"_qs, u"de|no"_qs, u"no|en"_qs, u"no|de"_qs}));
    // The list offers EN-US only, so that is what goes out.
    EXPECT_EQ(translateWith(*deepL, u"Hei"_qs, u"no"_qs, u"en"_qs).text, u"[EN-US] Hei"_qs);

    // LibreTranslate lists targets per source, and may spell Chinese "zh-Hans".
    FakeHttpServer libreFake;
    libreFake.handler = libreTranslate({}, {u"en"_qs, u"zh-Hans"_qs});
    auto libre = makeEngine(u"libretranslate"_qs, libreFake.url(), {});
    done = false;
    libre->queryLanguages([&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(libre->pairs(), (QStringList{u"en|zh-CN"_qs, u"zh-CN|en"_qs}));
    EXPECT_EQ(translateWith(*libre, u"x"_qs, u"en"_qs, u"zh-CN"_qs).text, u"[zh-Hans] x"_qs);

    // A query that fails leaves every pair to be tried, and says why.
    FakeHttpServer broken;
    broken.handler = [](const Request&) { return json(500, {}); };
    auto google = makeEngine(u"google"_qs, broken.url());
    done = false;
    google->queryLanguages([&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(google->supports(u"en"_qs, u"de"_qs), PairSupport::Unknown);
    EXPECT_TRUE(google->pairs().isEmpty());
    EXPECT_EQ(google->languagesProblem(), u"languages query failed: Google: server error (500)"_qs);
}
