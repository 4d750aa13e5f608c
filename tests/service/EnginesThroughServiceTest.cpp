// Every language of the client's table, both ways, through the v1 GET of a service whose only engine is one
// provider's loopback fake; and verbolt-service itself: its options, --list-pairs, and keys kept out of sight.
#include "EngineSetup.h"
#include "FakeProviders.h"
#include "LanguageNames.h"
#include "ServiceTestSupport.h"
#include "VersionRecord.h"
#include "http/ReplyEncoding.h"
#include "http/ServiceServer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace servicetest;

namespace {

const QStringList kDeepLSources
    = {u"AR"_qs, u"BG"_qs, u"CS"_qs, u"DA"_qs, u"NL"_qs, u"EN"_qs, u"FI"_qs, u"FR"_qs, u"DE"_qs, u"EL"_qs, u"IT"_qs,
        u"JA"_qs, u"ZH"_qs, u"KO"_qs, u"NB"_qs, u"PL"_qs, u"PT"_qs, u"RO"_qs, u"RU"_qs, u"ES"_qs, u"SV"_qs};
const QStringList kDeepLTargets = {u"AR"_qs, u"BG"_qs, u"CS"_qs, u"DA"_qs, u"NL"_qs, u"EN-GB"_qs, u"EN-US"_qs, u"FI"_qs,
    u"FR"_qs, u"DE"_qs, u"EL"_qs, u"IT"_qs, u"JA"_qs, u"ZH-HANS"_qs, u"ZH-HANT"_qs, u"KO"_qs, u"NB"_qs, u"PL"_qs,
    u"PT-BR"_qs, u"PT-PT"_qs, u"RO"_qs, u"RU"_qs, u"ES"_qs, u"SV"_qs};
const QStringList kLibreCodes = {u"ar"_qs, u"bg"_qs, u"cs"_qs, u"da"_qs, u"nl"_qs, u"en"_qs, u"fi"_qs, u"fr"_qs,
    u"de"_qs, u"el"_qs, u"hi"_qs, u"ga"_qs, u"it"_qs, u"ja"_qs, u"zh-Hans"_qs, u"ko"_qs, u"nb"_qs, u"pl"_qs, u"pt"_qs,
    u"ro"_qs, u"ru"_qs, u"es"_qs, u"sv"_qs};

struct ProviderCase {
    const char* name;
    QByteArray section; ///< "{url}" stands for the fake's address
    std::function<Response(const Request&)> fake;
    QStringList missing; ///< client codes the provider lacks
    std::function<QString(const QString&)> spelling; ///< a client target code as the provider spells it
};

QString deeplSpelling(const QString& code)
{
    static const QHash<QString, QString> variants
        = {{u"en"_qs, u"EN-GB"_qs}, {u"pt"_qs, u"PT-PT"_qs}, {u"zh-CN"_qs, u"ZH-HANS"_qs}, {u"no"_qs, u"NB"_qs}};
    return variants.value(code, code.toUpper());
}

const QList<ProviderCase> kProviders = {
    {"deepl", "[deepl]\nurl={url}\n", deepl(u"dk:fx"_qs, kDeepLSources, kDeepLTargets),
        {u"hi"_qs, u"ga"_qs, u"mt"_qs, u"cy"_qs}, deeplSpelling},
    {"google", "[google]\nkey=gk\nurl={url}/g\n",
        google(u"gk"_qs, QStringList(service::LanguageNames::clientCodes()) << u"zh-TW"_qs << u"iw"_qs), {},
        [](const QString& code) { return code; }},
    {"libretranslate", "[libretranslate]\nurl={url}\nkey=lk\n", libreTranslate(u"lk"_qs, kLibreCodes),
        {u"mt"_qs, u"cy"_qs},
        [](const QString& code) { return code == u"zh-CN" ? u"zh-Hans"_qs
                                      : code == u"no"     ? u"nb"_qs
                                                          : code; }},
    {"llm", "[llm]\nurl={url}\nmodel=m\n", chatCompletions({}, u"m"_qs, u"/v1/chat/completions"_qs), {},
        service::LanguageNames::englishName},
};

class EveryLanguage : public ::testing::TestWithParam<ProviderCase>
{
};

} // namespace

TEST_P(EveryLanguage, translatesBothWaysThroughTheV1Get)
{
    const ProviderCase& c = GetParam();
    FakeHttpServer fake;
    fake.handler = c.fake;
    fake.prefix = c.section.contains("/g\n") ? u"/g"_qs : QString();
    QTemporaryDir dir;
    QFile file(dir.filePath(u"verbolt-service.conf"_qs));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[routing]\norder=" + QByteArray(c.name) + "\n"
        + QByteArray(c.section).replace("{url}", fake.url().toEncoded()));
    file.close();
    QProcessEnvironment env;
    env.insert(u"VERBOLT_DEEPL_KEY"_qs, u"dk:fx"_qs);
    QString error;
    const auto config = service::ServiceConfig::load(file.fileName(), env, &error);
    ASSERT_TRUE(config) << error;
    service::EngineSetup setup(*config, {});
    bool known = false;
    setup.router().queryLanguages([&] { known = true; });
    ASSERT_TRUE(waitUntil([&] { return known; }));
    service::ServiceServer server(setup.router());
    server.setLogSink([](const QString&) {});
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));

    for (const QString& other : service::LanguageNames::clientCodes()) {
        if (other == u"en")
            continue;
        for (const auto& [from, to] : {std::pair(u"en"_qs, other), std::pair(other, u"en"_qs)}) {
            RawExchange exchange(server.serverPort(),
                get("/ajax/services/language/translate?v=1.0&q=Good%20morning&langpair=" + from.toUtf8() + '|'
                    + to.toUtf8()));
            ASSERT_TRUE(exchange.waitClosed());
            if (c.missing.contains(other)) {
                EXPECT_EQ(exchange.body(),
                    ReplyEncoding::refusalReply(400,
                        u"no engine here translates %1 to %2: install an Apertium pair or configure an engine in %3"_qs
                            .arg(service::LanguageNames::englishName(from), service::LanguageNames::englishName(to),
                                config->shownPath)));
            } else {
                EXPECT_EQ(exchange.status(), 200) << from << '|' << to << ' ' << exchange.body();
                EXPECT_EQ(clientReceive(exchange.body(), false), u"[%1] Good morning"_qs.arg(c.spelling(to)));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Providers, EveryLanguage, ::testing::ValuesIn(kProviders), CaseName());

namespace {

struct ProgramRun {
    int exitCode = -1;
    QString out, err;
};

ProgramRun runService(
    const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VERBOLT_SERVICE_BIN), arguments);
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(30));
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(ServiceProgram, helpAndVersionNeedNothingElse)
{
    const QStringList nothing{
        u"--config"_qs, u"/nonexistent/verbolt-service.conf"_qs, u"--apertium-modes"_qs, u"/nonexistent"_qs};
    const ProgramRun version = runService(QStringList{u"--version"_qs} + nothing);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, u"verbolt-service %1\n"_qs.arg(VersionRecord::read().versionText()));
    const ProgramRun help = runService(QStringList{u"--help"_qs} + nothing);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(u"--list-pairs"_qs)) << help.out;
    EXPECT_FALSE(help.out.contains(u"--api-key"_qs));

    const ProgramRun missing = runService(nothing);
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(
        missing.err, u"verbolt-service: cannot read /nonexistent/verbolt-service.conf: No such file or directory\n"_qs);
    // A key on the command line would show in ps.
    const ProgramRun keyed = runService({u"--api-key"_qs, u"k"_qs});
    EXPECT_NE(keyed.exitCode, 0);
    EXPECT_TRUE(keyed.err.contains(u"Unknown option 'api-key'"_qs)) << keyed.err;
}

TEST(ServiceProgram, listsPairsAndKeepsKeysOutOfItsLog)
{
    FakeHttpServer fake;
    fake.handler = google(u"g-s3cr3t"_qs, {u"en"_qs, u"de"_qs});
    QTemporaryDir dir;
    QFile file(dir.filePath(u"engines.conf"_qs));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[google]\nurl=" + fake.url().toEncoded() + "\n[llm]\nurl=http://127.0.0.1:1\nmodel=m\n[deepl]\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"VERBOLT_GOOGLE_KEY"_qs, u"g-s3cr3t"_qs);
    env.insert(u"VERBOLT_LLM_KEY"_qs, u"l-s3cr3t"_qs);

    const ProgramRun run
        = runService({u"--list-pairs"_qs, u"--config"_qs, file.fileName(), u"--apertium-modes"_qs, dir.path()}, env);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.contains(u"\nen|de        English to German: google, llm?\n"_qs)) << run.out;
    EXPECT_TRUE(run.out.contains(u"\nar|bg        Arabic to Bulgarian: llm?\n"_qs)) << run.out;
    EXPECT_TRUE(run.out.contains(u"  llm?  it has no languages list: it is tried for every pair\n"_qs)) << run.out;
    EXPECT_EQ(run.err,
        u"verbolt-service: warning: %1 can be read by other users and may hold API keys; chmod 600 %1\n"
        "verbolt-service: [deepl] left out: no key= (nor VERBOLT_DEEPL_KEY)\n"
        "verbolt-service: apertium left out: no language pairs in %2\n"
        "verbolt-service: engines, in the order tried: phrasebook (207 phrases), google (Google at %3), llm (LLM m at http://127.0.0.1:1)\n"_qs
            .arg(file.fileName(), dir.path(), fake.url().toString()));
    EXPECT_FALSE((run.out + run.err).contains(u"s3cr3t"_qs));
}
