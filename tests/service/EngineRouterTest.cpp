// The router in front of fake engines: order, fallback, time limits, resting after quota, every reason named, the
// cache.
#include "EngineRouter.h"
#include "ServiceTestSupport.h"
#include "TranslationCache.h"

#include <gtest/gtest.h>

#include <memory>

using namespace servicetest;
using Status = service::TranslationResult::Status;

namespace {

/// A fake engine that knows its pairs (none: it cannot tell).
class PairEngine : public FakeEngine
{
public:
    QStringList served;
    QStringList pairs() const override { return served; }
};

const QString kHint = u"~/.config/verbolt-service.conf"_qs;

/// Engines "A", "B", "C", one per letter of a plan: N does not serve the pair, U refuses it, F breaks down,
/// L finds the text too long, H never answers, O translates.
struct Fleet {
    explicit Fleet(const char* plan, qsizetype cacheBytes = 0)
    {
        QList<service::EngineRouter::Route> routes;
        for (const char* p = plan; *p; ++p) {
            auto engine = std::make_unique<PairEngine>();
            const QString name(QChar(char16_t(u'A' + (p - plan))));
            const char kind = *p;
            engine->served = kind == 'N' ? QStringList{u"en|es"_qs} : QStringList{};
            engine->holdAnswers = kind == 'H';
            engine->answer = [name, kind](const FakeEngine::Call& call) {
                switch (kind) {
                case 'U': return service::TranslationResult::refused(Status::UnknownPair, u"no such pair"_qs);
                case 'F': return service::TranslationResult::refused(Status::Failed, name + u": engine down"_qs);
                case 'L': return service::TranslationResult::refused(Status::TooLong, u"too long"_qs);
                default: return service::TranslationResult::ok(name + u':' + call.text);
                }
            };
            routes.append({name.toLower(), name, engine.get(), 50});
            engines.push_back(std::move(engine));
        }
        router = std::make_unique<service::EngineRouter>(routes, cacheBytes, kHint);
        router->setClock([this] { return now; });
    }
    int calls(int i) const { return int(engines[size_t(i)]->calls.size()); }

    std::vector<std::unique_ptr<PairEngine>> engines;
    std::unique_ptr<service::EngineRouter> router;
    qint64 now = 1000;
};

struct PlanCase {
    const char* name;
    const char* plan;
    QString source;
    Status status;
    QString text; ///< the translation, or the refusal's reason
};

const QList<PlanCase> kPlans = {
    {"firstThatServesAnswers", "NOO", u"en"_qs, Status::Ok, u"B:Hi"_qs},
    {"nextAfterABreakdown", "FUO", u"en"_qs, Status::Ok, u"C:Hi"_qs},
    {"nextAfterTheTimeLimit", "HO", u"en"_qs, Status::Ok, u"B:Hi"_qs},
    {"noEngineServesThePair", "NN", u"en"_qs, Status::UnknownPair,
        u"no engine here translates English to German: install an Apertium pair or configure an engine in "_qs + kHint},
    {"noEngineForAutoSource", "N", u"auto"_qs, Status::UnknownPair,
        u"no engine here translates into German: install an Apertium pair or configure an engine in "_qs + kHint},
    {"everyEngineLacksThePair", "UNU", u"en"_qs, Status::UnknownPair, u"A: no such pair; C: no such pair"_qs},
    {"aBreakdownOutweighsAMissingPair", "UF", u"en"_qs, Status::Failed, u"A: no such pair; B: engine down"_qs},
    {"tooLongWhereNoneBrokeDown", "LU", u"en"_qs, Status::TooLong, u"A: too long; B: no such pair"_qs},
    {"silentEnginesNamed", "HH", u"en"_qs, Status::Failed,
        u"A: no answer within 0.05 s; B: no answer within 0.05 s"_qs},
};

class RouterPlan : public ::testing::TestWithParam<PlanCase>
{
};

} // namespace

TEST_P(RouterPlan, answersOrNamesEveryEngineTried)
{
    const PlanCase& c = GetParam();
    Fleet fleet(c.plan);
    const auto result = translateWith(*fleet.router, u"Hi"_qs, c.source, u"de"_qs);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.status == Status::Ok ? result.text : result.error, c.text);
    // Asked: each engine that serves the pair, up to the first that translates.
    bool answered = false;
    for (int i = 0; c.plan[i]; ++i) {
        EXPECT_EQ(fleet.calls(i), answered || c.plan[i] == 'N' ? 0 : 1) << "engine " << i;
        answered = answered || c.plan[i] == 'O';
    }
}

INSTANTIATE_TEST_SUITE_P(Plans, RouterPlan, ::testing::ValuesIn(kPlans), CaseName());

TEST(Router, restsAnEngineAfterAQuotaRefusalAndSaysSo)
{
    Fleet fleet("OF");
    fleet.engines[0]->answer = [](const FakeEngine::Call&) {
        auto result = service::TranslationResult::refused(Status::Failed, u"A: quota exceeded (456)"_qs);
        result.restMs = 60000;
        return result;
    };
    auto result = translateWith(*fleet.router, u"Hi"_qs, u"en"_qs, u"de"_qs);
    EXPECT_EQ(result.error, u"A: quota exceeded (456); B: engine down"_qs);
    fleet.now += 20000;
    result = translateWith(*fleet.router, u"Hi"_qs, u"en"_qs, u"de"_qs);
    EXPECT_EQ(result.error, u"A: quota exceeded (456); resting, asked again in 40 s; B: engine down"_qs);
    EXPECT_EQ(fleet.calls(0), 1);
    fleet.now += 40000;
    translateWith(*fleet.router, u"Hi"_qs, u"en"_qs, u"de"_qs);
    EXPECT_EQ(fleet.calls(0), 2);
}

TEST(Router, aLateAnswerAfterTheTimeLimitIsDropped)
{
    Fleet fleet("HO");
    int answers = 0;
    fleet.router->translate(u"Hi"_qs, u"en"_qs, u"de"_qs, [&](const service::TranslationResult&) { ++answers; });
    ASSERT_TRUE(waitUntil([&] { return answers == 1; }));
    fleet.engines[0]->release();
    QCoreApplication::processEvents();
    EXPECT_EQ(answers, 1);
}

TEST(Router, oneTextsTimeRunsOutBeforeTheClientGivesUp)
{
    Fleet fleet("HHO");
    fleet.router->setBudget(80);
    const auto result = translateWith(*fleet.router, u"Hi"_qs, u"en"_qs, u"de"_qs);
    EXPECT_EQ(result.status, Status::Failed);
    // B is asked with what is left, or not at all when a loaded machine let A's limit run late.
    EXPECT_TRUE(result.error.startsWith(u"A: no answer within 0.05 s; B: "_qs)) << result.error;
    EXPECT_TRUE(result.error.endsWith(u"; C: not asked, no time left within 0.08 s"_qs)) << result.error;
    EXPECT_EQ(fleet.calls(2), 0) << result.error;
}

TEST(Router, theCacheAnswersRepeatsWithoutAskingAgain)
{
    Fleet fleet("FO", 1 << 20);
    EXPECT_EQ(translateWith(*fleet.router, u"Hi"_qs, u"en"_qs, u"de"_qs).text, u"B:Hi"_qs);
    EXPECT_EQ(translateWith(*fleet.router, u"Hi"_qs, u"en"_qs, u"de"_qs).text, u"B:Hi"_qs);
    EXPECT_EQ(fleet.calls(1), 1);
    // A failure is not kept: the engine before is asked again.
    EXPECT_EQ(fleet.calls(0), 2);
    translateWith(*fleet.router, u"Hi"_qs, u"en"_qs, u"fr"_qs);
    translateWith(*fleet.router, u"Hi!"_qs, u"en"_qs, u"de"_qs);
    EXPECT_EQ(fleet.calls(1), 3);
    EXPECT_EQ(fleet.router->cache().hits(), 1);
}

TEST(TranslationCache, boundedInBytesLeastRecentlyUsedFirst)
{
    service::TranslationCache probe(1 << 20);
    probe.insert(u"e"_qs, u"en"_qs, u"de"_qs, u"0"_qs, service::TranslationResult::ok(u"x"_qs));
    const qsizetype entry = probe.bytes();

    service::TranslationCache cache(3 * entry);
    for (const char* text : {"0", "1", "2"})
        cache.insert(u"e"_qs, u"en"_qs, u"de"_qs, QString::fromLatin1(text), service::TranslationResult::ok(u"x"_qs));
    ASSERT_TRUE(cache.find(u"e"_qs, u"en"_qs, u"de"_qs, u"0"_qs)); // now the most recent
    cache.insert(u"e"_qs, u"en"_qs, u"de"_qs, u"3"_qs, service::TranslationResult::ok(u"x"_qs));
    EXPECT_EQ(cache.size(), 3);
    EXPECT_LE(cache.bytes(), cache.maxBytes());
    EXPECT_FALSE(cache.find(u"e"_qs, u"en"_qs, u"de"_qs, u"1"_qs));
    EXPECT_TRUE(cache.find(u"e"_qs, u"en"_qs, u"de"_qs, u"0"_qs));
    EXPECT_FALSE(cache.find(u"other"_qs, u"en"_qs, u"de"_qs, u"0"_qs));

    // What cannot fit is not kept, and does not push the rest out.
    cache.insert(u"e"_qs, u"en"_qs, u"de"_qs, QString(4 * entry, u'a'), service::TranslationResult::ok(u"x"_qs));
    EXPECT_EQ(cache.size(), 3);
}
