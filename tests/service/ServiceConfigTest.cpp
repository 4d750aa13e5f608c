// The engines configuration file: what each key does, the environment's keys, sections left out, errors, and keys
// never shown.
#include "ServiceConfig.h"
#include "ConfLineEnds.h"
#include "ServiceTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace servicetest;

namespace {

struct ConfigCase {
    const char* name;
    const char* file; ///< null: no file
    QStringList env; ///< NAME=value
    QString engines; ///< "id url key model timeout" per engine, joined by "; "
    QStringList notes;
    QString error; ///< "{dir}": the configuration folder
};

const QList<ConfigCase> kConfigs = {
    {"noFileIsTheKeylessEngines", nullptr, {}, u"phrasebook - - - 10000; apertium - - - 10000; mymemory - - - 10000"_qs,
        {}, {}},
    {"keylessEnginesTurnedOff",
        "[mymemory]\nenabled=no\nemail=op@example.org\n[phrasebook]\nenabled=false\n[llm]\nurl=http://h:1\nmodel=m\n"
        "temperature=0.2\nenabled=yes\n",
        {}, u"apertium - - - 10000; llm http://h:1 - m 10000 t=0.2"_qs, {}, {}},
    {"myMemoryEmailAndAddress", "[mymemory]\nemail=op@example.org\nurl=http://127.0.0.1:9\n", {},
        u"phrasebook - - - 10000; apertium - - - 10000; mymemory http://127.0.0.1:9 - - 10000 de=op@example.org"_qs, {},
        {}},
    {"badEnabled", "[deepl]\nkey=k\nenabled=maybe\n", {}, {}, {},
        u"{dir}/verbolt-service.conf: [deepl] enabled= wants yes or no, not \"maybe\""_qs},
    {"badTemperature", "[llm]\nurl=http://h:1\nmodel=m\ntemperature=hot\n", {}, {}, {},
        u"{dir}/verbolt-service.conf: [llm] temperature= wants a number from 0 to 2, such as 0.2, not \"hot\""_qs},
    {"everyEngineInTheDefaultOrder",
        "[routing]\ntimeout=5\ncache=2M\n"
        "[deepl]\nkey=k1:fx ; free key\n"
        "[google]\nkey=g2\nurl=https://proxy.example/google\n"
        "[libretranslate]\nurl=http://localhost:5000\n"
        "[llm]\nurl=http://localhost:11434/v1\nmodel=\"llama3.1:8b\"\ntimeout=60\n",
        {},
        u"phrasebook - - - 5000; apertium - - - 5000; mymemory - - - 5000; deepl - k1:fx - 5000; google "
        u"https://proxy.example/google g2 - 5000; "
        "libretranslate http://localhost:5000 - - 5000; llm http://localhost:11434/v1 - llama3.1:8b 60000"_qs,
        {}, {}},
    {"orderPicksAndSorts",
        "[routing]\norder=llm, DeepL\n[deepl]\nkey=k\n[google]\nkey=g\n[llm]\nurl=http://h:1\nmodel=m\n", {},
        u"llm http://h:1 - m 10000; deepl - k - 10000"_qs,
        {u"[google] is set up but not in [routing] order=: not used"_qs}, {}},
    {"environmentKeysWin", "[deepl]\nkey=from-file\n[libretranslate]\nurl=http://h:2\nkey=lt\n",
        {u"VERBOLT_DEEPL_KEY=from-env"_qs, u"VERBOLT_GOOGLE_KEY=g-env"_qs},
        u"phrasebook - - - 10000; apertium - - - 10000; mymemory - - - 10000; deepl - from-env - 10000; google - g-env "
        u"- 10000; libretranslate http://h:2 lt - "
        "10000"_qs,
        {}, {}},
    {"sectionsWithoutWhatTheyNeed",
        "[routing]\norder=apertium,deepl,google\n[deepl]\nurl=https://h:3\n[libretranslate]\nkey=x\n[llm]\nurl=http://"
        "h:4\n"
        "[tts]\nvoice=x\n[google]\nkey=g\nmodle=x\n",
        {}, u"apertium - - - 10000; google - g - 10000"_qs,
        {u"unknown key modle= in [google] ignored"_qs,
            u"unknown section [tts] in {dir}/verbolt-service.conf ignored"_qs,
            u"[deepl] left out: no key= (nor VERBOLT_DEEPL_KEY)"_qs, u"[libretranslate] left out: no url="_qs,
            u"[llm] left out: no model="_qs},
        {}},
    {"badUrl", "[libretranslate]\nurl=localhost:5000\n", {}, {}, {},
        u"{dir}/verbolt-service.conf: [libretranslate] url= wants an http:// or https:// address such as "
        "http://localhost:5000, not \"localhost:5000\""_qs},
    {"badTimeout", "[deepl]\nkey=secret-k\ntimeout=soon\n", {}, {}, {},
        u"{dir}/verbolt-service.conf: [deepl] timeout= wants seconds from 0.001 to 3600, such as 10, not \"soon\""_qs},
    {"badCacheSize", "[routing]\ncache=lots\n", {}, {}, {},
        u"{dir}/verbolt-service.conf: [routing] cache= wants a size such as 8M, not \"lots\""_qs},
    {"unknownEngineInOrder", "[routing]\norder=apertium,bing\n", {}, {}, {},
        u"{dir}/verbolt-service.conf: [routing] order= names \"bing\", which is not one of phrasebook, apertium, "
        "mymemory, deepl, google, libretranslate, llm"_qs},
    {"missingCaFile", "[google]\nkey=g\ncafile=ca.pem\n", {}, {}, {},
        u"{dir}/verbolt-service.conf: [google] cafile=: cannot read {dir}/ca.pem: No such file or directory"_qs},
};

QString describe(const service::ServiceConfig& config)
{
    QStringList parts;
    for (const service::EngineSettings& e : config.engines) {
        const auto orDash = [](const QString& s) { return s.isEmpty() ? u"-"_qs : s; };
        QString part
            = u"%1 %2 %3 %4 %5"_qs.arg(e.id, orDash(e.url.toString()), orDash(e.key), orDash(e.model)).arg(e.timeoutMs);
        if (!e.email.isEmpty())
            part += u" de="_qs + e.email;
        if (e.temperature)
            part += u" t="_qs + QString::number(*e.temperature);
        parts.append(part);
    }
    return parts.join(u"; "_qs);
}

class Config : public ::testing::TestWithParam<ConfigCase>
{
};

} // namespace

TEST_P(Config, readsTheFileAndTheEnvironment)
{
    const ConfigCase& c = GetParam();
    QTemporaryDir home;
    const QString dir = home.path() + u"/config"_qs;
    QDir().mkpath(dir);
    if (c.file) {
        QFile file(dir + u"/verbolt-service.conf"_qs);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.file);
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QProcessEnvironment env;
    env.insert(u"HOME"_qs, home.path());
    env.insert(u"XDG_CONFIG_HOME"_qs, dir);
    for (const QString& entry : c.env)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));

    QString error;
    const auto config = service::ServiceConfig::load({}, env, &error);
    EXPECT_EQ(error, QString(c.error).replace(u"{dir}"_qs, dir));
    ASSERT_EQ(config.has_value(), c.error.isEmpty());
    if (!config)
        return;
    EXPECT_EQ(describe(*config), c.engines);
    QStringList notes;
    for (const QString& note : c.notes)
        notes.append(QString(note).replace(u"{dir}"_qs, dir));
    EXPECT_EQ(config->notes, notes);
    EXPECT_EQ(config->shownPath, u"~/config/verbolt-service.conf"_qs);
    for (const QString& note : config->notes + QStringList{error})
        EXPECT_FALSE(note.contains(u"secret"_qs) || note.contains(u"k1"_qs) || note.contains(u"from-env"_qs)) << note;
}

INSTANTIATE_TEST_SUITE_P(Cases, Config, ::testing::ValuesIn(kConfigs), CaseName());

TEST(Config, aNamedFileMustBeThereAndOthersMayNotReadIt)
{
    QTemporaryDir dir;
    QString error;
    const QProcessEnvironment env;
    EXPECT_FALSE(service::ServiceConfig::load(dir.filePath(u"none.conf"_qs), env, &error));
    EXPECT_EQ(error, u"cannot read %1: No such file or directory"_qs.arg(dir.filePath(u"none.conf"_qs)));
    EXPECT_FALSE(service::ServiceConfig::load(dir.path(), env, &error));
    EXPECT_EQ(error, u"%1 is not a regular file but a folder"_qs.arg(dir.path()));

    QFile file(dir.filePath(u"shared.conf"_qs));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[deepl]\nkey=secret\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    auto config = service::ServiceConfig::load(file.fileName(), env, &error);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->notes,
        QStringList{
            u"warning: %1 can be read by other users and may hold API keys; chmod 600 %1"_qs.arg(file.fileName())});
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_TRUE(service::ServiceConfig::load(file.fileName(), env, &error)->notes.isEmpty());
}

namespace {

class LineEnds : public ::testing::TestWithParam<conflineends::Case>
{
};

QString serviceValue(const service::ServiceConfig& config, const QString& section, const QString& key)
{
    for (const service::EngineSettings& e : config.engines) {
        if (e.id != section)
            continue;
        if (key == u"url")
            return e.url.toString();
        if (key == u"model")
            return e.model;
        if (key == u"email")
            return e.email;
    }
    return {};
}

} // namespace

TEST_P(LineEnds, crLfAndCrLfEachEndALine)
{
    const conflineends::Case& c = GetParam();
    QTemporaryDir dir;
    QFile file(dir.filePath(u"verbolt-service.conf"_qs));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.file);
    file.close();
    QString error;
    const auto config = service::ServiceConfig::load(file.fileName(), {}, &error);
    ASSERT_TRUE(config) << error;
    for (const auto& [section, key, value] : conflineends::kValues)
        EXPECT_EQ(
            serviceValue(*config, QString::fromLatin1(section), QString::fromLatin1(key)), QString::fromLatin1(value))
            << section << '/' << key;
    // Headers are found on every line, also for a section without keys.
    QFile more(file.fileName());
    ASSERT_TRUE(more.open(QIODevice::Append));
    more.write(c.file.contains('\r') ? "\r[deepl]\r" : "\n[deepl]\n");
    more.close();
    EXPECT_TRUE(service::ServiceConfig::load(file.fileName(), {}, &error)
                    ->notes.contains(u"[deepl] left out: no key= (nor VERBOLT_DEEPL_KEY)"_qs));
}

INSTANTIATE_TEST_SUITE_P(Cases, LineEnds, ::testing::ValuesIn(conflineends::kCases), CaseName());
