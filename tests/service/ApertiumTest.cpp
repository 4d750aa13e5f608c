// The Apertium engine for real: stream formatting, mode files, warm pipelines, pairs, chains of pairs and source
// detection, through the service and the client's own core.
#include "ServiceTestSupport.h"
#include "apertium/ApertiumEngine.h"
#include "apertium/ApertiumFormat.h"
#include "apertium/ApertiumPipeline.h"
#include "http/ReplyEncoding.h"
#include "http/ServiceServer.h"
#include "text/GuardedEngine.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace servicetest;

namespace {

QByteArray runTool(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(20000)) << program.toStdString();
    return process.readAllStandardOutput();
}

QString randomPlainText(std::mt19937& random)
{
    static const QStringList pieces = {
        u"word"_qs,
        u"Casa"_qs,
        u" "_qs,
        u"  "_qs,
        u"\n"_qs,
        u"\n\n"_qs,
        u"\t"_qs,
        u"\r\n"_qs,
        u"~"_qs,
        u" ~ "_qs,
        u"\\"_qs,
        u"^"_qs,
        u"$"_qs,
        u"["_qs,
        u"]"_qs,
        u"{"_qs,
        u"}"_qs,
        u"/"_qs,
        u"@"_qs,
        u"<"_qs,
        u">"_qs,
        u"*"_qs,
        u"#"_qs,
        u"+"_qs,
        u"&"_qs,
        u"\""_qs,
        u"."_qs,
        u","_qs,
        u"\u00f1"_qs,
        u"\u4e2d"_qs,
        u"[]"_qs,
        u"\\n"_qs,
    };
    std::uniform_int_distribution<int> length(1, 25);
    std::uniform_int_distribution<qsizetype> piece(0, pieces.size() - 1);
    QString text;
    for (int n = length(random); n > 0; --n)
        text += pieces[piece(random)];
    return text;
}

} // namespace

TEST(ApertiumFormat, streamFormatRoundTripsAndAgreesWithApertiumsOwnTools)
{
    std::mt19937 random(99);
    QString all;
    for (int i = 0; i < 500; ++i) {
        const QString text = randomPlainText(random);
        ASSERT_EQ(ApertiumFormat::reformat(ApertiumFormat::deformat(text)), text) << text;
        all += text + u" | "_qs;
    }
    // apertium-retxt reads what we write, and we read what apertium-destxt writes.
    EXPECT_EQ(QString::fromUtf8(runTool(u"apertium-retxt"_qs, {}, ApertiumFormat::deformat(all))), all);
    EXPECT_EQ(ApertiumFormat::reformat(runTool(u"apertium-destxt"_qs, {u"-n"_qs}, all.toUtf8())), all);
    EXPECT_EQ(ApertiumFormat::deformat(u"a\u0000b"_qs), QByteArray("ab[][]"));
}

TEST(ApertiumFormat, unknownWordsOfAnAnalysis)
{
    struct Case {
        QByteArray analysis;
        int unknown;
        int words;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"^Hello/Hello<ij>$ ^world/world<n><sg>$[]", 0, 2},
        {"^Xyzzy/*Xyzzy$ ^is/be<vbser><pres><p3><sg>$ ^foo/*foo$^./.<sent>$", 2, 4},
        {"^a\\/b/*a\\/b$[ ^x/*x$ ]^c\\$/*c\\$$", 2, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ApertiumFormat::countUnknownWords(c.analysis), c.unknown) << c.analysis.constData();
        EXPECT_EQ(ApertiumFormat::countWords(c.analysis), c.words) << c.analysis.constData();
    }
}

TEST(ApertiumPipeline, modeFilesBecomeArgumentVectors)
{
    using Stage = ApertiumPipeline::Stage;
    struct Case {
        const char* name;
        QString mode;
        std::optional<QList<Stage>> stages;
    };
    const Case cases[] = {
        {"quotes, $1 and $2", u"lt-proc '/a b/x.bin' | apertium-tagger -g $2 '/p.prob' | lt-proc $1 \"/g.bin\"\n"_qs,
            QList<Stage>{{u"lt-proc"_qs, {u"-z"_qs, u"/a b/x.bin"_qs}},
                {u"apertium-tagger"_qs, {u"-z"_qs, u"-g"_qs, u"/p.prob"_qs}},
                {u"lt-proc"_qs, {u"-z"_qs, u"-n"_qs, u"/g.bin"_qs}}}},
        {"no null flush for vislcg3", u"vislcg3 -g x.rlx|cg-proc y"_qs,
            QList<Stage>{{u"vislcg3"_qs, {u"-g"_qs, u"x.rlx"_qs}}, {u"cg-proc"_qs, {u"-z"_qs, u"y"_qs}}}},
        {"command separator", u"lt-proc x; rm -rf y"_qs, std::nullopt},
        {"command substitution", u"lt-proc $(id)"_qs, std::nullopt},
        {"backquotes", u"lt-proc `id`"_qs, std::nullopt},
        {"redirection", u"lt-proc x > y"_qs, std::nullopt},
        {"empty stage", u"lt-proc x || y"_qs, std::nullopt},
        {"open quote", u"lt-proc 'x"_qs, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ApertiumPipeline::parseMode(c.mode, u"-n"_qs), c.stages) << c.name;

    // Every installed pair parses.
    service::ApertiumEngine engine({});
    EXPECT_FALSE(engine.pairs().isEmpty());
}

TEST(ApertiumPipeline, queuesTextsAndSurvivesBrokenStages)
{
    ApertiumPipeline cat(u"cat"_qs, {{u"cat"_qs, {}}}, 5000);
    QStringList outputs;
    for (const char* text : {"one", "two", "three"}) {
        cat.submit(text, [&](bool ok, const QByteArray& output, const QString&) {
            outputs << (ok ? QString::fromUtf8(output) : u"failed"_qs);
        });
    }
    EXPECT_TRUE(outputs.isEmpty()); // never answered inside submit()
    ASSERT_TRUE(waitUntil([&] { return outputs.size() == 3; }));
    EXPECT_EQ(outputs, (QStringList{u"one"_qs, u"two"_qs, u"three"_qs}));

    struct Broken {
        const char* name;
        ApertiumPipeline::Stage stage;
    };
    const Broken broken[] = {
        {"missing program", {u"/nonexistent/verbolt-stage"_qs, {}}},
        {"stage that ends at once", {u"true"_qs, {}}},
        {"stage that never flushes", {u"sleep"_qs, {u"30"_qs}}},
    };
    for (const Broken& b : broken) {
        ApertiumPipeline pipeline(QString::fromUtf8(b.name), {b.stage}, 300);
        int failures = 0;
        for (int i = 0; i < 2; ++i) {
            pipeline.submit("x", [&](bool ok, const QByteArray&, const QString& error) {
                EXPECT_FALSE(ok);
                EXPECT_FALSE(error.isEmpty());
                ++failures;
            });
        }
        EXPECT_TRUE(waitUntil([&] { return failures == 2; })) << b.name;
    }
}

TEST(ApertiumPipeline, aLostEndMarkFailsWithoutWaitingForTheTimeout)
{
    // A stage that takes the NUL in and never passes it on, as lrx-proc once did after a caret.
    ApertiumPipeline pipeline(u"swallower"_qs, {{u"tr"_qs, {u"-d"_qs, u"\\000"_qs}}}, 600000);
    QString error;
    bool failed = false;
    pipeline.submit("text", [&](bool ok, const QByteArray&, const QString& why) {
        failed = !ok;
        error = why;
    });
    ASSERT_TRUE(waitUntil([&] { return failed; }));
    EXPECT_TRUE(error.contains(u"lost the end of the text"_qs)) << error.toStdString();
}

class ApertiumService : public ::testing::Test
{
protected:
    // Warm the pipelines once for the whole program.
    static void SetUpTestSuite()
    {
        s_engine = new service::ApertiumEngine({});
        for (const auto& [from, to] : {std::pair{"en", "es"}, {"es", "en"}, {"es", "pt"}})
            ASSERT_TRUE(s_engine->preload(QString::fromLatin1(from), QString::fromLatin1(to)));
        s_server = new service::ServiceServer(*s_engine);
        s_server->setLogSink([](const QString&) {});
        ASSERT_TRUE(s_server->listen(QHostAddress::LocalHost, 0));
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_engine;
    }

    static QString clientTranslate(const QString& text, const QString& from, const QString& to)
    {
        QString result = modGoogleTranslate::TranslateText(text, from, to, opsFor(s_server->serverPort()));
        result.replace(u" &lt;br&gt;"_qs, u"\r\n"_qs);
        return modGoogleTranslate::DecodeHtml(result);
    }

    static inline service::ApertiumEngine* s_engine = nullptr;
    static inline service::ServiceServer* s_server = nullptr;
};

TEST_F(ApertiumService, translatesDirectPairsAndThroughSpanish)
{
    struct Case {
        QString text, from, to, expected;
    };
    const Case cases[] = {
        {u"Hello"_qs, u"English"_qs, u"Espa\u00f1ol"_qs, u"Hola"_qs},
        {u"The dog is black."_qs, u"en"_qs, u"es"_qs, u"El perro es negro."_qs},
        {u"Buenos d\u00edas"_qs, u"Espa\u00f1ol"_qs, u"English"_qs, u"Good morning"_qs},
        {u"El gato es negro."_qs, u"es"_qs, u"en"_qs, u"The cat is black."_qs},
        // No English-Portuguese pair is installed: English -> Spanish -> Portuguese.
        {u"The house is big."_qs, u"English"_qs, u"portuguese"_qs, u"A casa \u00e9 grande."_qs},
    };
    for (const Case& c : cases)
        EXPECT_EQ(clientTranslate(c.text, c.from, c.to), c.expected) << c.text;
    EXPECT_EQ(s_engine->route(u"eng"_qs, u"por"_qs), (QStringList{u"eng-spa"_qs, u"spa-por"_qs}));
}

TEST_F(ApertiumService, unknownWordsPassUnmarkedAndUnknownPairsAreRefused)
{
    EXPECT_EQ(clientTranslate(u"The xyzzyq is here."_qs, u"en"_qs, u"es"_qs), u"El xyzzyq es aqu\u00ed."_qs);
    RawExchange refused(s_server->serverPort(), get("/ajax/services/language/translate?q=Hello&langpair=en|de"));
    ASSERT_TRUE(refused.waitClosed());
    EXPECT_EQ(refused.status(), 400);
    EXPECT_EQ(refused.body(), ReplyEncoding::refusalReply(400, u"Unsupported language pair: en|de"_qs));
}

TEST_F(ApertiumService, detectsTheSourceLanguage)
{
    struct Case {
        QString text, target, detected;
    };
    const Case cases[] = {
        {u"El gato es negro y la casa es muy grande."_qs, u"en"_qs, u"es"_qs},
        {u"Eu n\u00e3o sei onde est\u00e1 a minha casa."_qs, u"en"_qs, u"pt"_qs},
        {u"Le chat est noir et la maison est grande."_qs, u"es"_qs, u"fr"_qs},
    };
    for (const Case& c : cases) {
        const auto detected = translateWith(*s_engine, c.text, u"auto"_qs, c.target);
        EXPECT_EQ(detected.status, service::TranslationResult::Status::Ok) << detected.error;
        EXPECT_EQ(detected.detectedSource, c.detected) << c.text;
        EXPECT_EQ(detected.text, translateWith(*s_engine, c.text, c.detected, c.target).text);
    }
    // The client sends "auto" for a name it has no code for.
    EXPECT_EQ(clientTranslate(u"El gato es negro."_qs, u"Castellano"_qs, u"English"_qs), u"The cat is black."_qs);
}

TEST_F(ApertiumService, lineBreaksAndSpecialCharactersSurvive)
{
    const QString text
        = u"Tom & Jerry said \"hi\" to me <b> [x] {y} ^z$ @ / \\ * # + 50%\r\nThe cat.\r\n\r\nThe dog ~ end"_qs;
    const QString result = clientTranslate(text, u"en"_qs, u"es"_qs);
    for (const QString& symbol : {u"&"_qs, u"\""_qs, u"<"_qs, u">"_qs, u"["_qs, u"]"_qs, u"{"_qs, u"}"_qs, u"^"_qs,
             u"$"_qs, u"@"_qs, u"/"_qs, u"\\"_qs, u"*"_qs, u"#"_qs, u"+"_qs, u"%"_qs, u"~"_qs, u"\r\n"_qs})
        EXPECT_EQ(result.count(symbol), text.count(symbol)) << symbol << " in " << result;
    EXPECT_TRUE(result.contains(u"\r\nEl gato.\r\n\r\nEl "_qs)) << result;
}

TEST_F(ApertiumService, severalRequestsAtOnceEachGetTheirOwnTranslation)
{
    const QList<QPair<QByteArray, QString>> requests = {
        {"q=The%20dog%20is%20black.&langpair=en|es", u"El perro es negro."_qs},
        {"q=El%20gato%20es%20negro.&langpair=es|en", u"The cat is black."_qs},
        {"q=Hello&langpair=en|es", u"Hola"_qs},
        {"q=The%20house%20is%20big.&langpair=en|pt", u"A casa \u00e9 grande."_qs},
        {"q=Buenos%20d%C3%ADas&langpair=es|en", u"Good morning"_qs},
        {"q=El%20gato%20es%20negro.&langpair=auto|en", u"The cat is black."_qs},
    };
    std::vector<std::unique_ptr<RawExchange>> exchanges;
    for (int round = 0; round < 2; ++round) {
        for (const auto& request : requests) {
            exchanges.push_back(std::make_unique<RawExchange>(
                s_server->serverPort(), get("/ajax/services/language/translate?v=1.0&" + request.first)));
        }
    }
    for (size_t i = 0; i < exchanges.size(); ++i) {
        ASSERT_TRUE(exchanges[i]->waitClosed(30000));
        EXPECT_EQ(exchanges[i]->status(), 200) << exchanges[i]->received();
        EXPECT_EQ(clientReceive(exchanges[i]->body(), false), requests[i % requests.size()].second);
    }
}

TEST_F(ApertiumService, guardedTextsKeepCaretsProtectedWordsAndLowerCase)
{
    struct Case {
        QString text, from, to, expected;
    };
    const Case cases[] = {
        {u"Muy bien, gracias ^_^"_qs, u"es"_qs, u"en"_qs, u"Very well, thank you ^_^"_qs},
        {u"Hasta luego ^"_qs, u"es"_qs, u"en"_qs, u"See you later ^"_qs},
        {u"The cat is black ^^"_qs, u"en"_qs, u"es"_qs, u"El gato es negro ^^"_qs},
        {u"Hello my friend"_qs, u"en"_qs, u"es"_qs, u"Hola mi amigo"_qs},
        {u"Hi there EA4ABC"_qs, u"en"_qs, u"es"_qs, u"Hola allí EA4ABC"_qs},
        {u"EA4ABC@home"_qs, u"en"_qs, u"es"_qs, u"EA4ABC@casa"_qs},
    };
    service::GuardedEngine guarded(*s_engine);
    for (const Case& c : cases) {
        const auto result = translateWith(guarded, c.text, c.from, c.to);
        EXPECT_EQ(result.status, service::TranslationResult::Status::Ok) << result.error;
        EXPECT_EQ(result.text, c.expected) << c.text;
    }
}

namespace {

struct ChainCase {
    const char* name;
    QString text, from, to, expected;
    QString detected = {};
};

// Debian 12's pairs as they translate; what matters here is that every hop ran and nothing was lost on the way.
const ChainCase kChains[] = {
    // swe-isl leaves "Minn Vinur" capitalised: the Icelandic analyser must not lose the last word.
    {"swedish_through_icelandic", u"God morgon, min v\u00e4n."_qs, u"sv"_qs, u"en"_qs,
        u"Good morning, Remind Friend."_qs},
    {"bulgarian_to_spanish_in_three_hops",
        u"\u041a\u044a\u0449\u0430\u0442\u0430 \u0435 \u0433\u043e\u043b\u044f\u043c\u0430."_qs, u"bg"_qs, u"es"_qs,
        u"La casa es enorme."_qs},
    {"bulgarian_detected", u"\u041a\u044a\u0449\u0430\u0442\u0430 \u0435 \u0433\u043e\u043b\u044f\u043c\u0430."_qs,
        u"auto"_qs, u"en"_qs, u"The house is huge."_qs, u"bg"_qs},
};

class ApertiumChain : public ApertiumService, public ::testing::WithParamInterface<ChainCase>
{
};

} // namespace

TEST_P(ApertiumChain, translatesThroughChainsOfPairs)
{
    const ChainCase& c = GetParam();
    const QString from = service::ApertiumEngine::apertiumCode(c.detected.isEmpty() ? c.from : c.detected);
    if (s_engine->route(from, service::ApertiumEngine::apertiumCode(c.to)).isEmpty())
        GTEST_SKIP() << "a pair of scripts/apertium-pairs.txt is not installed";
    if (c.detected.isEmpty()) {
        EXPECT_EQ(clientTranslate(c.text, c.from, c.to), c.expected);
        return;
    }
    const auto result = translateWith(*s_engine, c.text, c.from, c.to);
    EXPECT_EQ(result.detectedSource, c.detected);
    EXPECT_EQ(result.text, c.expected) << result.error;
}

INSTANTIATE_TEST_SUITE_P(Cases, ApertiumChain, ::testing::ValuesIn(kChains), CaseName());

TEST(ApertiumEngine, sparePipelinesRetireAndAnIdleModeStopsUntilItsNextText)
{
    service::ApertiumEngine::Options options;
    options.poolSize = 3;
    // Every text that has to wait at once starts a pipeline of its own.
    options.growAfterMs = 0;
    options.spareIdleMs = 300;
    options.modeIdleMs = 1500;
    service::ApertiumEngine engine(options);
    if (engine.route(u"eng"_qs, u"spa"_qs).isEmpty())
        GTEST_SKIP() << "apertium-eng-spa is not installed";

    // Three texts at once: a pipeline each.
    int answered = 0;
    for (int i = 0; i < 3; ++i) {
        engine.translate(u"Good morning, my friend."_qs, u"en"_qs, u"es"_qs, [&](const service::TranslationResult& r) {
            EXPECT_EQ(r.status, service::TranslationResult::Status::Ok) << r.error;
            ++answered;
        });
    }
    EXPECT_EQ(engine.poolSize(u"eng-spa"_qs), 3);
    ASSERT_TRUE(waitUntil([&] { return answered == 3; }, std::chrono::seconds(30)));

    // Idle: the spares go first, the mode's first pipeline later.
    ASSERT_TRUE(waitUntil([&] { return engine.poolSize(u"eng-spa"_qs) == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(engine.runningPipelines(u"eng-spa"_qs), 1);
    ASSERT_TRUE(waitUntil([&] { return engine.runningProcesses() == 0; }, std::chrono::seconds(10)));

    // And started again on demand.
    EXPECT_EQ(translateWith(engine, u"Good morning"_qs, u"en"_qs, u"es"_qs).text, u"Buenos días"_qs);
    EXPECT_EQ(engine.runningPipelines(u"eng-spa"_qs), 1);
}
