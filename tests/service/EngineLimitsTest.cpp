// What engines will not do: pass the service's keys to Apertium's processes, run a text nobody waits for, queue
// without bound, read an answer without end, or rest for longer than a day.
#include "FakeProviders.h"
#include "Interest.h"
#include "ServiceTestSupport.h"
#include "apertium/ApertiumPipeline.h"
#include "engines/LibreTranslateEngine.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace servicetest;

namespace {

TEST(ApertiumStages, GetNoKeyVariable)
{
    qputenv("VERBOLT_DEEPL_KEY", "d-s3cr3t");
    qputenv("VERBOLT_LLM_KEY", "l-s3cr3t");
    ApertiumPipeline printsEnvironment(
        u"env"_qs, {{u"sh"_qs, {u"-c"_qs, u"env | tr '\\n' ' '; printf '\\0'; exec cat"_qs}}}, 5000);
    std::optional<QByteArray> seen;
    printsEnvironment.submit(
        "x", [&](bool ok, const QByteArray& output, const QString&) { seen = ok ? output : QByteArray("failed"); });
    ASSERT_TRUE(waitUntil([&] { return seen.has_value(); }));
    qunsetenv("VERBOLT_DEEPL_KEY");
    qunsetenv("VERBOLT_LLM_KEY");
    EXPECT_TRUE(seen->contains("PATH=")) << *seen;
    EXPECT_FALSE(seen->contains("s3cr3t")) << *seen;
    EXPECT_FALSE(seen->contains("VERBOLT_")) << *seen;
}

TEST(ApertiumQueue, DropsTextsNobodyWaitsForAndIsBounded)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(u"seen"_qs);
    ApertiumPipeline tee(u"tee"_qs, {{u"tee"_qs, {u"-a"_qs, log}}}, 5000);
    QStringList outcomes;
    const auto record = [&](bool ok, const QByteArray& output, const QString& error) {
        outcomes << (ok ? QString::fromUtf8(output) : error);
    };
    {
        const service::Interest::Scope gone{service::Interest([] { return false; })};
        tee.submit("abandoned", record);
    }
    // The one nobody waits for makes room when the queue is full; the one after that finds no room.
    for (qsizetype i = 0; i < ApertiumPipeline::kMaxWaiting; ++i)
        tee.submit("wanted", record);
    tee.submit("one too many", record);
    ASSERT_TRUE(waitUntil([&] { return outcomes.size() == ApertiumPipeline::kMaxWaiting + 2; }));

    EXPECT_EQ(outcomes.count(u"wanted"_qs), ApertiumPipeline::kMaxWaiting);
    EXPECT_EQ(outcomes.count(u"tee: nobody waits for the text any more"_qs), 1) << outcomes.join(u'\n').toStdString();
    EXPECT_EQ(outcomes.count(u"tee: 256 texts wait already"_qs), 1) << outcomes.join(u'\n').toStdString();
    QFile seen(log);
    ASSERT_TRUE(seen.open(QIODevice::ReadOnly));
    const QByteArray input = seen.readAll();
    EXPECT_FALSE(input.contains("abandoned"));
    EXPECT_FALSE(input.contains("one too many"));
}

struct AnswerCase {
    const char* name;
    FakeHttpServer::Response response;
    QString error; ///< empty: a translation
    int restMs;
};

void PrintTo(const AnswerCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProviderAnswer : public ::testing::TestWithParam<AnswerCase>
{
};

TEST_P(ProviderAnswer, IsCappedAndItsRestClamped)
{
    const AnswerCase& c = GetParam();
    FakeHttpServer fake;
    fake.handler = [&c](const FakeHttpServer::Request&) { return c.response; };
    service::LibreTranslateEngine engine(fake.url(), {}, 10000);
    const service::TranslationResult result = translateWith(engine, u"Hello"_qs, u"en"_qs, u"de"_qs);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(result.restMs, c.restMs);
}

INSTANTIATE_TEST_SUITE_P(Answers, ProviderAnswer,
    ::testing::Values(AnswerCase{"RestAsked", {429, "{}", "Retry-After: 120\r\n", false},
                          u"LibreTranslate: too many requests (429)"_qs, 120000},
        AnswerCase{"RestBeyondAnInt", {429, "{}", "Retry-After: 99999999999\r\n", false},
            u"LibreTranslate: too many requests (429)"_qs, 24 * 60 * 60 * 1000},
        AnswerCase{"AnswerOverOneMebibyte",
            {200, "{\"translatedText\": \"" + QByteArray(2 * 1024 * 1024, 'x') + "\"}", {}, false},
            u"LibreTranslate: the answer is larger than 1 MiB"_qs, 0}),
    CaseName());

} // namespace
