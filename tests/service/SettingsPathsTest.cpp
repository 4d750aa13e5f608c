// The service's settings paths (what it serves, a try through one engine, a new reading of its file) and the
// engine a reply names; and a fresh install's first line, English to German through MyMemory, in the real program.
#include "EngineHost.h"
#include "FakeProviders.h"
#include "ServiceTestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace servicetest;

namespace {

struct Answer {
    int status = 0;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

class SettingsPaths : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myMemory.handler = myMemoryProvider.handler();
        deeplFake.handler = deepl(u"dk:fx"_qs, {u"EN"_qs, u"DE"_qs}, {u"EN-GB"_qs, u"DE"_qs});
        write("[routing]\ntimeout=0.5\n[mymemory]\nurl=" + myMemory.url().toEncoded() + "\n");
        QString error;
        const auto config = service::ServiceConfig::load(path(), env, &error);
        ASSERT_TRUE(config) << error;
        service::ApertiumEngine::Options apertium;
        apertium.modesDirectory = dir.path();
        host = std::make_unique<service::EngineHost>(service::EngineHost::Sources{path(), env, {}, apertium}, *config,
            std::make_shared<service::EngineSetup>(*config, apertium));
    }

    QString path() const { return dir.filePath(u"verbolt-service.conf"_qs); }
    void write(const QByteArray& contents)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }
    Answer call(
        const QByteArray& method, const QByteArray& path, const QByteArray& query = {}, const QByteArray& body = {})
    {
        Answer answer;
        bool done = false;
        host->handle(method, path, query, body, [&](int status, const QByteArray& reply) {
            answer = {status, reply};
            done = true;
        });
        EXPECT_TRUE(waitUntil([&] { return done; })) << path.constData();
        return answer;
    }
    service::TranslationResult translate(const QString& text) { return translateWith(*host, text, u"en"_qs, u"de"_qs); }

    QTemporaryDir dir;
    QProcessEnvironment env;
    MyMemoryFake myMemoryProvider{1 << 20};
    FakeHttpServer myMemory;
    FakeHttpServer deeplFake;
    std::unique_ptr<service::EngineHost> host;
};

} // namespace

TEST_F(SettingsPaths, aReloadTakesTheNewFileAndABadOneKeepsTheOld)
{
    auto first = translate(u"Coax wet"_qs);
    EXPECT_EQ(first.text, u"[de] Coax wet"_qs);
    EXPECT_EQ(first.engine, u"mymemory"_qs);

    // A text under way when the file changes finishes on the engines it started on.
    FakeHttpServer silent;
    silent.handler = [](const Request&) { return Response{200, {}, {}, true}; };
    write("[routing]\norder=mymemory\ntimeout=0.3\n[mymemory]\nurl=" + silent.url().toEncoded() + "\n");
    ASSERT_EQ(call("POST", "/verbolt/reload").body, R"({"ok":true})");
    service::TranslationResult underWay;
    bool underWayDone = false;
    host->translate(u"Held"_qs, u"en"_qs, u"de"_qs, [&](const service::TranslationResult& r) {
        underWay = r;
        underWayDone = true;
    });

    write("[routing]\norder=deepl,mymemory\n[deepl]\nkey=dk:fx\nurl=" + deeplFake.url().toEncoded()
        + "\n[mymemory]\nurl=" + myMemory.url().toEncoded() + "\n");
    const Answer reloaded = call("POST", "/verbolt/reload");
    EXPECT_EQ(reloaded.status, 200);
    EXPECT_EQ(reloaded.body, R"({"ok":true})");
    const auto second = translate(u"Coax wet"_qs);
    EXPECT_EQ(second.text, u"[DE] Coax wet"_qs);
    EXPECT_EQ(second.engine, u"deepl"_qs);
    EXPECT_EQ(host->engineTag(u"deepl"_qs).provider, u"DeepL, 127.0.0.1:%1"_qs.arg(deeplFake.url().port()));

    ASSERT_TRUE(waitUntil([&] { return underWayDone; }));
    EXPECT_EQ(underWay.error, u"MyMemory: no answer within 0.3 s"_qs);

    for (const QByteArray& bad : {QByteArray("[deepl]\nkey=dk:fx\ntimeout=soon\n"),
             QByteArray("[routing]\norder=bing\n"), QByteArray("[routing]\norder=apertium\n")}) {
        write(bad);
        const Answer refused = call("POST", "/verbolt/reload");
        EXPECT_EQ(refused.status, 400) << bad.constData();
        EXPECT_EQ(refused.json().value(u"ok"_qs), QJsonValue(false));
        EXPECT_TRUE(refused.json().value(u"reason"_qs).toString().startsWith(path())) << refused.body;
        EXPECT_EQ(translate(u"Again"_qs).text, u"[DE] Again"_qs) << bad.constData();
    }
    EXPECT_EQ(call("GET", "/verbolt/reload").status, 405);
    EXPECT_EQ(call("GET", "/verbolt/nothing").status, 404);
}

TEST_F(SettingsPaths, listsEveryEngineAndTheLanguagesEachServesBothWays)
{
    const Answer listed = call("GET", "/verbolt/engines", "lang=en");
    ASSERT_EQ(listed.status, 200) << listed.body;
    const QJsonArray engines = listed.json().value(u"engines"_qs).toArray();
    QStringList described;
    for (const QJsonValue& value : engines) {
        const QJsonObject e = value.toObject();
        described.append(u"%1 %2 %3 %4 %5 [%6] %7"_qs.arg(e.value(u"id"_qs).toString(),
            e.value(u"online"_qs).toBool() ? u"online"_qs : u"offline"_qs,
            e.value(u"enabled"_qs).toBool() ? u"on"_qs : u"off"_qs,
            e.value(u"ready"_qs).toBool() ? u"ready"_qs : u"not-ready"_qs, e.value(u"name"_qs).toString(),
            e.value(u"fields"_qs).toVariant().toStringList().join(u','), e.value(u"why"_qs).toString()));
    }
    EXPECT_EQ(described,
        (QStringList{u"phrasebook offline on ready Phrasebook [] "_qs,
            u"apertium offline on not-ready Apertium [] no language pairs in %1"_qs.arg(dir.path()),
            u"mymemory online on ready MyMemory [email,url] "_qs,
            u"deepl online off not-ready DeepL [key,url] no key= (nor VERBOLT_DEEPL_KEY)"_qs,
            u"google online off not-ready Google [key,url] no key= (nor VERBOLT_GOOGLE_KEY)"_qs,
            u"libretranslate online off not-ready LibreTranslate [url,key] no url="_qs,
            u"llm online off not-ready Language model [url,model,key] no url=, no model="_qs}));
    const QJsonArray languages = listed.json().value(u"languages"_qs).toArray();
    ASSERT_EQ(languages.size(), 25);
    EXPECT_EQ(languages[8].toObject(),
        (QJsonObject{{u"code"_qs, u"de"_qs}, {u"name"_qs, u"German"_qs},
            {u"engines"_qs, QJsonArray{u"phrasebook"_qs, u"mymemory"_qs}}}));
    EXPECT_EQ(languages[5].toObject().value(u"engines"_qs).toArray(), QJsonArray{});
    EXPECT_EQ(call("GET", "/verbolt/engines", "lang=xx").status, 400);
}

TEST_F(SettingsPaths, aTryGoesThroughThatEngineAloneWithTheFieldsGiven)
{
    const QByteArray url = QUrl::toPercentEncoding(deeplFake.url().toString());
    const Answer tried
        = call("POST", "/verbolt/try", {}, "engine=deepl&langpair=en%7Cde&q=Hi+there&key=dk%3Afx&url=" + url);
    EXPECT_EQ(tried.status, 200);
    EXPECT_EQ(tried.body,
        ReplyEncoding::translationReply(u"[DE] Hi there"_qs,
            {u"deepl"_qs, u"DeepL"_qs, u"DeepL, 127.0.0.1:%1"_qs.arg(deeplFake.url().port()), true}));
    EXPECT_EQ(clientReceive(tried.body, false), u"[DE] Hi there"_qs);

    const Answer wrongKey = call("POST", "/verbolt/try", {}, "engine=deepl&langpair=en|de&q=Hi&key=nope&url=" + url);
    EXPECT_EQ(wrongKey.status, 503);
    EXPECT_EQ(wrongKey.body,
        ReplyEncoding::refusalReply(503,
            u"DeepL: key refused (403: Authorization failure, check auth_key): check key= in [deepl] or VERBOLT_DEEPL_KEY"_qs));

    const Answer noKey = call("POST", "/verbolt/try", {}, "engine=google&langpair=en|de&q=Hi");
    EXPECT_EQ(
        noKey.body, ReplyEncoding::refusalReply(400, u"Google is not set up: no key= (nor VERBOLT_GOOGLE_KEY)"_qs));
    EXPECT_EQ(call("POST", "/verbolt/try", {}, "engine=bing&langpair=en|de&q=Hi").status, 400);
    // A try changes nothing: the next text goes as before.
    EXPECT_EQ(translate(u"Coax wet"_qs).engine, u"mymemory"_qs);
    EXPECT_EQ(std::count_if(deeplFake.requests.begin(), deeplFake.requests.end(),
                  [](const Request& r) { return r.method == "POST"; }),
        2);
}

TEST(FreshInstall, englishToGermanThroughMyMemoryAndTheReplySaysWhere)
{
    MyMemoryFake provider;
    FakeHttpServer fake;
    fake.handler = provider.handler();
    QTemporaryDir home;
    const QString config = home.filePath(u"config"_qs);
    QDir().mkpath(config);
    QFile file(config + u"/verbolt-service.conf"_qs);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Nothing but where MyMemory is: its fake instead of the provider.
    file.write("[mymemory]\nurl=" + fake.url().toEncoded() + "\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();

    QProcess service;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_qs, home.path());
    env.insert(u"XDG_CONFIG_HOME"_qs, config);
    service.setProcessEnvironment(env);
    service.start(QStringLiteral(VERBOLT_SERVICE_BIN), {u"--listen"_qs, u"127.0.0.1:%1"_qs.arg(port)});
    ASSERT_TRUE(service.waitForStarted());
    QByteArray log;
    ASSERT_TRUE(waitUntil(
        [&] {
            log += service.readAllStandardError();
            return log.contains("listening on");
        },
        std::chrono::seconds(20)))
        << log.constData();
    RawExchange exchange(port, get("/ajax/services/language/translate?v=1.0&q=Coax%20wet&langpair=en%7Cde"));
    ASSERT_TRUE(exchange.waitClosed());
    const QByteArray body = exchange.body();
    EXPECT_EQ(exchange.status(), 200);
    EXPECT_EQ(body,
        R"({"responseData": {"translatedText":"[de] Coax wet"}, "responseDetails": null, "responseStatus": 200, )"
        R"("engine": {"id": "mymemory", "name": "MyMemory", "online": true, "provider": "MyMemory (Translated), )"
        "127.0.0.1:"
            + QByteArray::number(fake.url().port()) + "\"}}");
    EXPECT_EQ(clientReceive(body, false), u"[de] Coax wet"_qs);
    service.terminate();
    EXPECT_TRUE(service.waitForFinished());
}

namespace {

// A DeepL stand-in that takes any key and puts the Authorization header it got into its translation, as a relay
// that echoes its request would; "#long" in the text makes a translation longer than a client takes.
Response echoingDeepl(const Request& r)
{
    if (r.method == "GET") {
        QJsonArray list;
        for (const QString& code : {u"EN"_qs, u"DE"_qs})
            list.append(QJsonObject{{u"lang"_qs, code}, {u"name"_qs, code}, {u"usable_as_source"_qs, true},
                {u"usable_as_target"_qs, true}});
        return json(200, list);
    }
    QString text = u"[DE] "_qs + QString::fromUtf8(r.headers.value("authorization"));
    if (r.body.contains("#long"))
        text += QString(ReplyEncoding::kMaxValueLength, u'x');
    return json(200,
        QJsonObject{{u"translations"_qs,
            QJsonArray{QJsonObject{{u"detected_source_language"_qs, u"EN"_qs}, {u"text"_qs, text}}}}});
}

struct TryCase {
    const char* name;
    QByteArray form; ///< {stored}, {other}: the two fakes' addresses
    int status;
    QString reply; ///< what the reply says: the translation, or the refusal's reason
    int storedPosts; ///< translations each fake was asked for
    int otherPosts;
};

void PrintTo(const TryCase& c, std::ostream* os)
{
    *os << c.name;
}

const QString kAnotherAddress = u"url= names another address than the one DeepL is set up with: a try there brings "
                                u"its own key (key=); the stored key goes only to "_qs;

const TryCase kTries[] = {
    {"storedAddress", "engine=deepl&langpair=en|de&q=Hi", 200, u"[DE] DeepL-Auth-Key (key)"_qs, 1, 0},
    {"storedAddressNamed", "engine=deepl&langpair=en|de&q=Hi&url={stored}/", 200, u"[DE] DeepL-Auth-Key (key)"_qs, 1,
        0},
    {"anotherAddressWithoutAKey", "engine=deepl&langpair=en|de&q=Hi&url={other}", 400, kAnotherAddress + u"{stored}"_qs,
        0, 0},
    {"theDefaultAddressWithoutAKey", "engine=deepl&langpair=en|de&q=Hi&url=", 400, kAnotherAddress + u"{stored}"_qs, 0,
        0},
    {"anotherAddressWithItsOwnKey", "engine=deepl&langpair=en|de&q=Hi&url={other}&key=own-key", 200,
        u"[DE] DeepL-Auth-Key (key)"_qs, 0, 1},
    {"overTheTextCap", "engine=deepl&langpair=en|de&q=" + QByteArray(101, 'a'), 413,
        u"Text too long: at most 100 characters"_qs, 0, 0},
    {"atTheTextCap", "engine=deepl&langpair=en|de&q=" + QByteArray(100, 'a'), 200, u"[DE] DeepL-Auth-Key (key)"_qs, 1,
        0},
    {"translationTooLongForTheClient", "engine=deepl&langpair=en|de&q=%23long", 413,
        u"The translation is too long for the client"_qs, 1, 0},
};

class Tries : public SettingsPaths, public ::testing::WithParamInterface<TryCase>
{
};

} // namespace

TEST_P(Tries, sendNoStoredKeyElsewhereAndNoKeyBackAndKeepTheCaps)
{
    const TryCase& c = GetParam();
    FakeHttpServer stored;
    FakeHttpServer other;
    stored.handler = echoingDeepl;
    other.handler = echoingDeepl;
    write("[routing]\norder=deepl\n[deepl]\nkey=stored-key\nurl=" + stored.url().toEncoded() + "\n");
    host->setMaxTextChars(100);
    const QByteArray form = QByteArray(c.form)
                                .replace("{stored}", QUrl::toPercentEncoding(stored.url().toString()))
                                .replace("{other}", QUrl::toPercentEncoding(other.url().toString()));
    const Answer tried = call("POST", "/verbolt/try", {}, form);
    EXPECT_EQ(tried.status, c.status) << tried.body;
    const QString reply = QString(c.reply).replace(u"{stored}"_qs, stored.url().toString());
    if (c.status == 200) {
        EXPECT_EQ(clientReceive(tried.body, false), reply);
    } else {
        EXPECT_EQ(tried.body, ReplyEncoding::refusalReply(c.status, reply));
    }
    const auto posts = [](const FakeHttpServer& fake) {
        return std::count_if(
            fake.requests.begin(), fake.requests.end(), [](const Request& r) { return r.method == "POST"; });
    };
    EXPECT_EQ(posts(stored), c.storedPosts);
    EXPECT_EQ(posts(other), c.otherPosts);
    for (const Request& r : other.requests)
        EXPECT_FALSE(r.headers.value("authorization").contains("stored-key")) << r.method;
    EXPECT_FALSE(tried.body.contains("stored-key")) << tried.body;
    EXPECT_FALSE(tried.body.contains("own-key")) << tried.body;
}

INSTANTIATE_TEST_SUITE_P(Cases, Tries, ::testing::ValuesIn(kTries), CaseName());

namespace {

struct FileCase {
    const char* name;
    /// Puts something at path in place of the settings file.
    std::function<bool(const QString& path, const QString& dir)> replace;
    QString reason; ///< {path}: the file's
};

void PrintTo(const FileCase& c, std::ostream* os)
{
    *os << c.name;
}

const FileCase kFiles[] = {
    {"fifo",
        [](const QString& path, const QString&) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; },
        u"{path} is not a regular file but a FIFO"_qs},
    {"linkToDevZero", [](const QString& path, const QString&) { return QFile::link(u"/dev/zero"_qs, path); },
        u"{path} is not a regular file but a device"_qs},
    {"folder", [](const QString& path, const QString&) { return QDir().mkdir(path); },
        u"{path} is not a regular file but a folder"_qs},
    {"largerThanSettingsAre",
        [](const QString& path, const QString&) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.resize(1024 * 1024 + 1);
        },
        u"{path} is larger than 1 MiB"_qs},
    {"linkToAFolder", [](const QString& path, const QString& dir) { return QFile::link(dir, path); },
        u"{path} is not a regular file but a folder"_qs},
};

class SettingsFileReplaced : public SettingsPaths, public ::testing::WithParamInterface<FileCase>
{
};

} // namespace

TEST_P(SettingsFileReplaced, isRefusedOnReloadAndTheEnginesStay)
{
    const FileCase& c = GetParam();
    ASSERT_TRUE(QFile::remove(path()));
    ASSERT_TRUE(c.replace(path(), dir.path()));
    const Answer refused = call("POST", "/verbolt/reload");
    EXPECT_EQ(refused.status, 400);
    EXPECT_EQ(refused.json().value(u"reason"_qs).toString(), QString(c.reason).replace(u"{path}"_qs, path()));
    EXPECT_EQ(translate(u"Coax wet"_qs).text, u"[de] Coax wet"_qs);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsFileReplaced, ::testing::ValuesIn(kFiles), CaseName());
