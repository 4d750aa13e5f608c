// The Apertium engine's graph of modes on made-up mode folders: which file serves a pair, the chains between
// languages, the pools of pipelines and source detection over chains. Stages are small shell scripts.
#include "ServiceTestSupport.h"
#include "apertium/ApertiumEngine.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace servicetest;
using service::ApertiumEngine;
using service::TranslationResult;

namespace {

/// A folder of .mode files, and the stage scripts they run.
class ModeFolder
{
public:
    QString path() const { return m_dir.path(); }

    void addMode(const QString& name, const QString& pipeline = {})
    {
        QFile file(m_dir.filePath(name + u".mode"_qs));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(pipeline.toUtf8() + '\n');
    }

    QString addScript(const QString& name, const QByteArray& body)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/bash\nshift # -z\nset -f\n" + body);
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return path;
    }

private:
    QTemporaryDir m_dir;
};

// Mode names as Debian's pairs install them, the odd ones included.
const char* const kModeNames[] = {
    "eng-spa", "spa-eng", "spa-eng_US", // a variant beside its plain mode
    "es-pt", "es-pt_BR", "pt-es", // two-letter names
    "es-fr", "eco-es-fr", "fr-es", // a prefixed name beside the plain one
    "spa-ita", "ita-spa", "ro-es", // Romanian has no mode into it
    "cat-spa", "spa-cat", "eng-cat", "cat-eng", "cat-ita", "cat-fra", // Catalan: neither English nor Spanish
    "en-gl", "es-gl", // reached from both pivots
    "bul-mkd", "mkd-bul", "mkd-eng", "mkd-hbs_BS", "mkd-hbs_HR", // variants only
    "hbs-mkd-pretransfer", // a partial mode: translates nothing
    "dan-swe", "swe-dan", "nob-swe", "swe-nob", "swe-isl", "isl-swe", "isl-eng", // Scandinavia to English only
    "nno_e-nno", "Cyrl-Latn", // a source variant into itself, a script converter
    "fao-dan", // four hops from English
};

struct RouteCase {
    const char* name;
    QString source, target;
    QStringList modes;
};

const RouteCase kRoutes[] = {
    {"direct", u"eng"_qs, u"spa"_qs, {u"eng-spa"_qs}},
    {"direct_over_a_shorter_pivot", u"cat"_qs, u"ita"_qs, {u"cat-ita"_qs}},
    {"two_letter_mode_names", u"por"_qs, u"spa"_qs, {u"por-spa"_qs}},
    {"through_spanish", u"eng"_qs, u"por"_qs, {u"eng-spa"_qs, u"spa-por"_qs}},
    {"spanish_before_catalan", u"eng"_qs, u"ita"_qs, {u"eng-spa"_qs, u"spa-ita"_qs}},
    {"spanish_before_english", u"cat"_qs, u"glg"_qs, {u"cat-spa"_qs, u"spa-glg"_qs}},
    {"through_english", u"mkd"_qs, u"spa"_qs, {u"mkd-eng"_qs, u"eng-spa"_qs}},
    {"three_hops", u"dan"_qs, u"eng"_qs, {u"dan-swe"_qs, u"swe-isl"_qs, u"isl-eng"_qs}},
    {"three_hops_through_pivots", u"bul"_qs, u"spa"_qs, {u"bul-mkd"_qs, u"mkd-eng"_qs, u"eng-spa"_qs}},
    {"three_hops_better_pivots", u"isl"_qs, u"fra"_qs, {u"isl-eng"_qs, u"eng-spa"_qs, u"spa-fra"_qs}},
    {"variant_only_mode", u"mkd"_qs, u"hbs"_qs, {u"mkd-hbs"_qs}},
    {"only_one_way", u"eng"_qs, u"isl"_qs, {}},
    {"nothing_into_romanian", u"spa"_qs, u"ron"_qs, {}},
    {"four_hops_is_too_many", u"fao"_qs, u"eng"_qs, {}},
    {"partial_mode_is_no_hop", u"hbs"_qs, u"mkd"_qs, {}},
    {"same_language", u"eng"_qs, u"eng"_qs, {}},
    {"unknown_language", u"deu"_qs, u"eng"_qs, {}},
};

class ApertiumRoute : public ::testing::TestWithParam<RouteCase>
{
protected:
    static void SetUpTestSuite()
    {
        s_folder = new ModeFolder;
        for (const char* name : kModeNames)
            s_folder->addMode(QString::fromLatin1(name));
        ApertiumEngine::Options options;
        options.modesDirectory = s_folder->path();
        s_engine = new ApertiumEngine(options);
    }
    static void TearDownTestSuite()
    {
        delete s_engine;
        delete s_folder;
    }
    static inline ModeFolder* s_folder = nullptr;
    static inline ApertiumEngine* s_engine = nullptr;
};

} // namespace

TEST_P(ApertiumRoute, shortestChainPreferringPivots)
{
    const RouteCase& c = GetParam();
    EXPECT_EQ(s_engine->route(c.source, c.target), c.modes);
}

INSTANTIATE_TEST_SUITE_P(Cases, ApertiumRoute, ::testing::ValuesIn(kRoutes), CaseName());

TEST_F(ApertiumRoute, modeFilesAndClientCodes)
{
    // The plain mode wins over its variants; among variants only, the first by name.
    const auto file = [](const char* mode) { return s_engine->modeFile(QString::fromLatin1(mode)).section(u'/', -1); };
    EXPECT_EQ(file("spa-por"), u"es-pt.mode"_qs);
    EXPECT_EQ(file("spa-eng"), u"spa-eng.mode"_qs);
    EXPECT_EQ(file("spa-fra"), u"es-fr.mode"_qs);
    EXPECT_EQ(file("mkd-hbs"), u"mkd-hbs_BS.mode"_qs);
    EXPECT_EQ(file("nno-nno"), QString());

    // Pairs come out in the client's codes: Norwegian is "no" (Bokmål), Serbo-Croatian "hr".
    const QStringList pairs = s_engine->pairs();
    for (const char* pair : {"no|en", "da|en", "bg|es", "en|pt", "mk|hr", "ro|en"})
        EXPECT_TRUE(pairs.contains(QString::fromLatin1(pair))) << pair;
    for (const char* pair : {"en|no", "en|bg", "es|ro", "fo|en", "nn|nn"})
        EXPECT_FALSE(pairs.contains(QString::fromLatin1(pair))) << pair;
    for (const auto& [client, apertium] : {std::pair{"no", "nob"}, {"nb", "nob"}, {"nor", "nob"}, {"bg", "bul"},
             {"is", "isl"}, {"zh-CN", "zho"}, {"sr", "hbs"}, {"pt_BR", ""}, {"xx", ""}}) {
        EXPECT_EQ(ApertiumEngine::apertiumCode(QString::fromLatin1(client)), QString::fromLatin1(apertium)) << client;
    }
    EXPECT_EQ(ApertiumEngine::clientCode(u"zho"_qs), u"zh-CN"_qs);

    // What the router asks of it agrees with the pairs, whatever spelling of a code is asked.
    for (const char* pair : {"no|en", "nb|en", "bg|es", "en|pt", "auto|en", "auto|pt"})
        EXPECT_EQ(s_engine->supports(
                      QString::fromLatin1(pair).section(u'|', 0, 0), QString::fromLatin1(pair).section(u'|', 1)),
            service::PairSupport::Yes)
            << pair;
    for (const char* pair : {"en|no", "en|bg", "xx|en", "auto|fo"})
        EXPECT_EQ(s_engine->supports(
                      QString::fromLatin1(pair).section(u'|', 0, 0), QString::fromLatin1(pair).section(u'|', 1)),
            service::PairSupport::No)
            << pair;
}

namespace {

// Answers every text with "<process id>:<text>", so that answers tell which pipeline gave them.
const QByteArray kTagStage = R"(while IFS= read -r -d '' text; do printf '%s:%s\0' "$$" "$text"; done
)";

struct PoolCase {
    const char* name;
    int poolSize;
    int textsAtOnce;
    int rounds;
    qsizetype pipelines;
};

const PoolCase kPools[] = {
    {"one_text_at_a_time_keeps_one", 4, 1, 3, 1},
    {"pool_of_one_queues", 1, 4, 1, 1},
    {"grows_to_the_texts_waiting", 4, 3, 1, 3},
    {"never_past_its_size", 2, 5, 2, 2},
};

class ApertiumPool : public ::testing::TestWithParam<PoolCase>
{
};

} // namespace

TEST_P(ApertiumPool, startsPipelinesOnlyForTextsThatWait)
{
    const PoolCase& c = GetParam();
    ModeFolder folder;
    const QString stage = folder.addScript(u"tag"_qs, kTagStage);
    folder.addMode(u"aaa-bbb"_qs, stage);
    folder.addMode(u"bbb-ccc"_qs, stage);
    ApertiumEngine::Options options;
    options.modesDirectory = folder.path();
    options.poolSize = c.poolSize;
    // Every text that has to wait starts a pipeline at once; how long texts wait first is PoolPolicy's table.
    options.growAfterMs = 0;
    ApertiumEngine engine(options);

    QSet<QString> processes;
    for (int round = 0; round < c.rounds; ++round) {
        QList<TranslationResult> results(c.textsAtOnce);
        int answered = 0;
        for (int i = 0; i < c.textsAtOnce; ++i) {
            engine.translate(
                u"text "_qs + QString::number(i), u"aaa"_qs, u"ccc"_qs, [&, i](const TranslationResult& r) {
                    results[i] = r;
                    ++answered;
                });
        }
        ASSERT_TRUE(waitUntil([&] { return answered == c.textsAtOnce; }));
        for (int i = 0; i < c.textsAtOnce; ++i) {
            // Two hops, each through a pipeline of its mode's pool: "<pid>:<pid>:text i".
            const QStringList parts = results[i].text.split(u':');
            ASSERT_EQ(parts.size(), 3) << results[i].text << results[i].error;
            EXPECT_EQ(parts[2], u"text "_qs + QString::number(i));
            processes.insert(parts[1]);
        }
    }
    EXPECT_EQ(engine.poolSize(u"aaa-bbb"_qs), c.pipelines);
    EXPECT_EQ(processes.size(), c.pipelines);
}

INSTANTIATE_TEST_SUITE_P(Cases, ApertiumPool, ::testing::ValuesIn(kPools), CaseName());

namespace {

// An analyser that knows the words it is given: "^word/word<n>$" or "^word/*word$" for each word of a text.
const QByteArray kAnalyserStage = R"(declare -A known
for word in "$@"; do known[$word]=1; done
while IFS= read -r -d '' text; do
    out=""
    for word in ${text//[][]/ }; do
        if [[ -n ${known[$word]} ]]; then out+="^$word/$word<n>\$ "; else out+="^$word/*$word\$ "; fi
    done
    printf '%s\0' "$out"
done
)";

// Turns an analysis back into its words and adds the mode's name, so that a translation shows its route.
const QByteArray kMarkStage = R"(mode=$1
while IFS= read -r -d '' text; do
    words=$(sed -e 's/\^\([^/$]*\)\/[^$]*\$/\1/g' -e 's/ *$//' <<<"$text")
    printf '%s %s\0' "$words" "$mode"
done
)";

struct DetectCase {
    const char* name;
    QString text;
    QString detected;
    QString translation;
};

// eng is reached from spa directly, from por through spa, from dan in three hops; abc (not a language of the
// client's table) reads the same words as spa.
const DetectCase kDetects[] = {
    {"direct", u"hola amigo"_qs, u"es"_qs, u"hola amigo spa-eng"_qs},
    {"two_hops", u"ola amigo obrigado"_qs, u"pt"_qs, u"ola amigo obrigado por-spa spa-eng"_qs},
    {"three_hops", u"hej ven tak"_qs, u"da"_qs, u"hej ven tak dan-swe swe-isl isl-eng"_qs},
    {"fewest_unknown_words_over_fewer_hops", u"amigo tak ven"_qs, u"da"_qs,
        u"amigo tak ven dan-swe swe-isl isl-eng"_qs},
    {"a_tie_goes_to_the_clients_languages", u"amigo"_qs, u"es"_qs, u"amigo spa-eng"_qs},
    {"then_to_the_shorter_route", u"zzz"_qs, u"es"_qs, u"zzz spa-eng"_qs},
};

class ApertiumDetect : public ::testing::TestWithParam<DetectCase>
{
};

} // namespace

TEST_P(ApertiumDetect, picksTheSourceOverChains)
{
    const DetectCase& c = GetParam();
    ModeFolder folder;
    const QString analyser = folder.addScript(u"analyse"_qs, kAnalyserStage);
    const QString mark = folder.addScript(u"mark"_qs, kMarkStage);
    const QString spanish = u" hola amigo"_qs;
    const auto add = [&](const QString& mode, const QString& words) {
        folder.addMode(mode, analyser + words + u" | "_qs + mark + u' ' + mode);
    };
    add(u"spa-eng"_qs, spanish);
    add(u"abc-eng"_qs, spanish);
    add(u"por-spa"_qs, u" ola amigo obrigado"_qs);
    add(u"dan-swe"_qs, u" hej ven tak"_qs);
    add(u"swe-isl"_qs, u" hej van tack"_qs);
    add(u"isl-eng"_qs, u" hallo vinur takk"_qs);
    ApertiumEngine::Options options;
    options.modesDirectory = folder.path();
    ApertiumEngine engine(options);

    const TranslationResult result = translateWith(engine, c.text, u"auto"_qs, u"en"_qs);
    EXPECT_EQ(result.status, TranslationResult::Status::Ok) << result.error;
    EXPECT_EQ(result.detectedSource, c.detected);
    EXPECT_EQ(result.text, c.translation);
}

INSTANTIATE_TEST_SUITE_P(Cases, ApertiumDetect, ::testing::ValuesIn(kDetects), CaseName());

TEST(ApertiumEngine, aHopThatLosesTheTextIsAFailure)
{
    ModeFolder folder;
    folder.addMode(
        u"aaa-bbb"_qs, folder.addScript(u"empty"_qs, "while IFS= read -r -d '' text; do printf '\\0'; done\n"));
    ApertiumEngine::Options options;
    options.modesDirectory = folder.path();
    ApertiumEngine engine(options);
    const TranslationResult result = translateWith(engine, u"some words"_qs, u"aaa"_qs, u"bbb"_qs);
    EXPECT_EQ(result.status, TranslationResult::Status::Failed);
    EXPECT_EQ(result.error, u"The Apertium mode aaa-bbb gave no text"_qs);
}
