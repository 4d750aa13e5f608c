// The HTTP side of the service with a fake engine behind it: routing, refusals, caps, time-outs, usage reports
// and concurrent requests.
#include "ServiceTestSupport.h"
#include "http/ReplyEncoding.h"
#include "http/ServiceServer.h"

#include <gtest/gtest.h>

#include <memory>

using namespace servicetest;

namespace {

const QByteArray kPath = "/ajax/services/language/translate";

struct HttpCase {
    const char* name;
    QByteArray request;
    int status;
    QByteArray body; ///< the exact body, or empty to check only that a refusal carries no value
    QString engineText; ///< what the engine must have been asked to translate; null when it must not be asked
    QString engineSource = {};
};

QByteArray refusal(int status, const char* reason)
{
    return ReplyEncoding::refusalReply(status, QString::fromUtf8(reason));
}

const QList<HttpCase> kCases = {
    {"good request", get(kPath + "?v=1.0&q=Hello%20world&langpair=en|es"), 200,
        ReplyEncoding::translationReply(u"es:Hello world"_qs), u"Hello world"_qs, u"en"_qs},
    {"bar percent-encoded", get(kPath + "?v=1.0&q=Hi&langpair=en%7Ces"), 200,
        ReplyEncoding::translationReply(u"es:Hi"_qs), u"Hi"_qs, u"en"_qs},
    {"plus is a space, %2B a plus", get(kPath + "?q=a+b%2Bc&langpair=en|es"), 200,
        ReplyEncoding::translationReply(u"es:a b+c"_qs), u"a b+c"_qs, u"en"_qs},
    {"UTF-8 and line breaks", get(kPath + "?q=%C3%B1%0D%0Ax%0Dy&langpair=es|en"), 200,
        ReplyEncoding::translationReply(u"en:\u00f1\nx\ny"_qs), u"\u00f1\nx\ny"_qs, u"es"_qs},
    {"unescaped text of old clients", "GET " + kPath + "?v=1.0&q=two words&langpair=en|es HTTP/1.0\r\n\r\n", 200,
        ReplyEncoding::translationReply(u"es:two words"_qs), u"two words"_qs, u"en"_qs},
    {"auto source", get(kPath + "?q=x&langpair=auto|en"), 200, ReplyEncoding::translationReply(u"en:x"_qs), u"x"_qs,
        u"auto"_qs},
    {"empty source is auto", get(kPath + "?q=x&langpair=|en"), 200, ReplyEncoding::translationReply(u"en:x"_qs),
        u"x"_qs, u"auto"_qs},
    {"empty text", get(kPath + "?q=&langpair=en|es"), 200, ReplyEncoding::translationReply(u"es:"_qs), u""_qs,
        u"en"_qs},
    {"form POST",
        "POST " + kPath + " HTTP/1.1\r\nContent-Length: 22\r\nConnection: close\r\n\r\nq=Hi%21&langpair=en|es", 200,
        ReplyEncoding::translationReply(u"es:Hi!"_qs), u"Hi!"_qs, u"en"_qs},
    {"unknown pair", get(kPath + "?q=x&langpair=en|xx"), 400, refusal(400, "Unsupported language pair"), u"x"_qs,
        u"en"_qs},
    {"engine breakdown", get(kPath + "?q=x&langpair=en|boom"), 503, refusal(503, "engine down"), u"x"_qs, u"en"_qs},
    {"missing q", get(kPath + "?v=1.0&langpair=en|es"), 400, refusal(400, "Missing the text (q)"), {}},
    {"missing langpair", get(kPath + "?v=1.0&q=x"), 400, refusal(400, "Missing the language pair (langpair)"), {}},
    {"langpair without bar", get(kPath + "?q=x&langpair=en"), 400, refusal(400, "Invalid translation language pair"),
        {}},
    {"empty target", get(kPath + "?q=x&langpair=en|"), 400, refusal(400, "Invalid translation language pair"), {}},
    {"over-long code", get(kPath + "?q=x&langpair=en|" + QByteArray(17, 'e')), 400,
        refusal(400, "Invalid translation language pair"), {}},
    {"bad percent-encoding", get(kPath + "?q=100%&langpair=en|es"), 400,
        refusal(400, "Bad percent-encoding or text that is not UTF-8"), {}},
    {"bad hex digits", get(kPath + "?q=%G1&langpair=en|es"), 400, {}, {}},
    {"not UTF-8", get(kPath + "?q=%FF%FE&langpair=en|es"), 400, {}, {}},
    {"over the text cap", get(kPath + "?langpair=en|es&q=" + QByteArray(101, 'a')), 413,
        refusal(413, "Text too long: at most 100 characters"), {}},
    {"unknown path", get("/index.html"), 404, refusal(404, "Not found"), {}},
    {"path prefix only", get(kPath + "x?q=a&langpair=en|es"), 404, {}, {}},
    {"PUT", "PUT " + kPath + " HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 405, {}, {}},
    {"DELETE elsewhere", "DELETE /x HTTP/1.1\r\n\r\n", 405, {}, {}},
    {"GET of the report script", get("/EP/stats.php"), 405, {}, {}},
    {"garbage request line", "hello\r\n\r\n", 400, {}, {}},
    {"lower-case method", "get / HTTP/1.1\r\n\r\n", 400, {}, {}},
    {"HTTP/2", "GET / HTTP/2.0\r\n\r\n", 505, {}, {}},
    {"header section over the cap", "GET / HTTP/1.1\r\nX: " + QByteArray(3000, 'x') + "\r\n\r\n", 431, {}, {}},
    {"body over the cap", "POST " + kPath + " HTTP/1.1\r\nContent-Length: 5000\r\n\r\n", 413, {}, {}},
    {"chunked body", "POST " + kPath + " HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 411, {}, {}},
    {"bad Content-Length", "POST " + kPath + " HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400, {}, {}},
    // Fields a request has once: which one counts would be a guess (which Host is served, where the body ends).
    {"two Host fields",
        "GET " + kPath + "?q=x&langpair=en|es HTTP/1.1\r\nHost: evil.example\r\nHost: 127.0.0.1\r\n\r\n", 400,
        refusal(400, "Header field sent twice: Host"), {}},
    {"Content-Length twice, same value",
        "POST " + kPath + " HTTP/1.1\r\nContent-Length: 22\r\nContent-Length: 22\r\n\r\nq=Hi%21&langpair=en|es", 400,
        refusal(400, "Header field sent twice: Content-Length"), {}},
    {"Content-Length and Transfer-Encoding",
        "POST " + kPath + " HTTP/1.1\r\nContent-Length: 22\r\nTransfer-Encoding: chunked\r\n\r\nq=Hi%21&langpair=en|es",
        400, refusal(400, "Both Transfer-Encoding and Content-Length"), {}},
    {"Transfer-Encoding twice",
        "POST " + kPath + " HTTP/1.1\r\nTransfer-Encoding: chunked\r\nTransfer-encoding: x\r\n\r\n", 400,
        refusal(400, "Header field sent twice: Transfer-encoding"), {}},
    {"two Origin fields, the last empty",
        "GET " + kPath + "?q=x&langpair=en|es HTTP/1.1\r\nOrigin: http://evil.example\r\nOrigin:\r\n\r\n", 400, {}, {}},
    {"space before the colon", "GET " + kPath + "?q=x&langpair=en|es HTTP/1.1\r\nHost : evil.example\r\n\r\n", 400,
        refusal(400, "Malformed header line"), {}},
    {"folded field", "GET " + kPath + "?q=x&langpair=en|es HTTP/1.1\r\nX-A: 1\r\n Host: evil.example\r\n\r\n", 400,
        refusal(400, "Malformed header line"), {}},
    {"usage report",
        "POST /EP/stats.php HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
        "Content-Length: 40\r\n\r\nCallsign=X&Program=*** Dolmex &Ver=1.0.2",
        200, "OK\n", {}},
    {"malformed usage report", "POST /EP/stats.php HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello", 400,
        refusal(400, "Malformed usage report"), {}},
};

class HttpLayer : public ::testing::TestWithParam<HttpCase>
{
protected:
    void SetUp() override
    {
        service::ServiceLimits limits;
        limits.maxTextChars = 100;
        limits.maxHeaderBytes = 2048;
        limits.maxBodyBytes = 1024;
        limits.requestTimeoutMs = 400;
        server = std::make_unique<service::ServiceServer>(engine, limits);
        server->setLogSink([this](const QString& line) { log.append(line); });
        ASSERT_TRUE(server->listen(QHostAddress::LocalHost, 0));
    }

    FakeEngine engine;
    std::unique_ptr<service::ServiceServer> server;
    QStringList log;
};

} // namespace

TEST_P(HttpLayer, answers)
{
    const HttpCase& c = GetParam();
    RawExchange exchange(server->serverPort(), c.request);
    ASSERT_TRUE(exchange.waitClosed()) << exchange.received();
    EXPECT_EQ(exchange.status(), c.status) << exchange.received();
    EXPECT_TRUE(exchange.head().contains("\r\nContent-Length: " + QByteArray::number(exchange.body().size())));
    if (c.status == 200 && c.request.contains(kPath)) {
        EXPECT_TRUE(exchange.head().contains("\r\nContent-Type: application/json; charset=utf-8"));
    }
    if (!c.body.isEmpty()) {
        EXPECT_EQ(exchange.body(), c.body);
    }
    if (c.status >= 400) {
        EXPECT_TRUE(exchange.body().startsWith(R"({"responseData": null, "responseDetails": ")")) << exchange.body();
        EXPECT_TRUE(exchange.body().endsWith(", \"responseStatus\": " + QByteArray::number(c.status) + "}"));
        EXPECT_FALSE(exchange.body().contains("translatedText"));
    }
    if (c.status == 405) {
        EXPECT_TRUE(exchange.head().contains("\r\nAllow: "));
    }
    if (c.engineText.isNull()) {
        EXPECT_TRUE(engine.calls.isEmpty());
    } else {
        ASSERT_EQ(engine.calls.size(), 1);
        EXPECT_EQ(engine.calls[0].text, c.engineText);
        EXPECT_EQ(engine.calls[0].source, c.engineSource);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HttpLayer, ::testing::ValuesIn(kCases), [](const auto& info) {
    QString name = QString::fromUtf8(info.param.name);
    for (QChar& c : name) {
        if (!c.isLetterOrNumber())
            c = u'_';
    }
    return name.toStdString();
});

TEST_F(HttpLayer, usageReportIsLoggedAsOneLine)
{
    QStringList reports;
    QObject::connect(server.get(), &service::ServiceServer::usageReported,
        [&](const QString& callsign, const QString& program, const QString& version) {
            reports << callsign << program << version;
        });
    // Unescaped values: the callsign may hold "&" and "=", the program name ends in a space.
    const QByteArray body = "Callsign=K1&A=B&Program=*** Dolmex &Ver=1.0.2";
    RawExchange exchange(server->serverPort(),
        "POST /EP/stats.php HTTP/1.0\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    ASSERT_TRUE(exchange.waitClosed());
    EXPECT_EQ(exchange.status(), 200);
    EXPECT_EQ(reports, (QStringList{u"K1&A=B"_qs, u"*** Dolmex "_qs, u"1.0.2"_qs}));
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0], u"usage report: callsign=\"K1&A=B\" program=\"*** Dolmex \" version=\"1.0.2\""_qs);
}

TEST_F(HttpLayer, logLinesStayOneLineWhateverTheRequestHolds)
{
    RawExchange exchange(server->serverPort(), get(kPath + "?q=x&langpair=e%0An|x%0D%0Ax"));
    ASSERT_TRUE(exchange.waitClosed());
    EXPECT_EQ(exchange.status(), 200);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains(u"e?n|x??x"_qs)) << log[0];
}

TEST_F(HttpLayer, slowClientsTimeOut)
{
    RawExchange partial(server->serverPort(), "GET " + kPath + "?q=x&lang");
    RawExchange silent(server->serverPort(), {});
    ASSERT_TRUE(partial.waitClosed(5000));
    ASSERT_TRUE(silent.waitClosed(5000));
    EXPECT_EQ(partial.status(), 408);
    EXPECT_EQ(silent.status(), 408);
    EXPECT_TRUE(engine.calls.isEmpty());
}

TEST_F(HttpLayer, requestArrivingInPiecesIsRead)
{
    RawExchange exchange(server->serverPort(), "GET " + kPath + "?q=sl");
    exchange.flush();
    exchange.send("ow&langpair=en|es HTTP/1.1\r\n");
    exchange.flush();
    exchange.send("Connection: close\r\n\r\n");
    ASSERT_TRUE(exchange.waitClosed());
    EXPECT_EQ(exchange.body(), ReplyEncoding::translationReply(u"es:slow"_qs));
}

TEST_F(HttpLayer, severalRequestsAtOnceEachGetTheirOwnAnswer)
{
    engine.holdAnswers = true;
    std::vector<std::unique_ptr<RawExchange>> exchanges;
    for (int i = 0; i < 12; ++i) {
        const QByteArray target = kPath + "?q=text" + QByteArray::number(i) + "&langpair=en|" + (i % 2 ? "es" : "fr");
        exchanges.push_back(std::make_unique<RawExchange>(server->serverPort(), get(target)));
    }
    ASSERT_TRUE(waitUntil([&] { return engine.held() == 12; }));
    engine.release(); // answered in the reverse order
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(exchanges[i]->waitClosed());
        EXPECT_EQ(exchanges[i]->body(),
            ReplyEncoding::translationReply((i % 2 ? u"es:text"_qs : u"fr:text"_qs) + QString::number(i)));
    }
}

TEST_F(HttpLayer, clientGoneBeforeTheAnswerIsNoProblem)
{
    engine.holdAnswers = true;
    {
        RawExchange exchange(server->serverPort(), get(kPath + "?q=x&langpair=en|es"));
        ASSERT_TRUE(waitUntil([&] { return engine.held() == 1; }));
    }
    engine.release();
    RawExchange next(server->serverPort(), get(kPath + "?q=y&langpair=en|es"));
    ASSERT_TRUE(waitUntil([&] { return engine.held() == 1; }));
    engine.release();
    ASSERT_TRUE(next.waitClosed());
    EXPECT_EQ(next.status(), 200);
}

TEST(HttpLayerClient, refusalsReachTheClientAsFailure)
{
    FakeEngine engine;
    service::ServiceServer server(engine);
    server.setLogSink([](const QString&) {});
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const auto ops = opsFor(server.serverPort());
    // The core's TranslateText sees no value in a refusal, which the window shows as a failed translation.
    EXPECT_EQ(modGoogleTranslate::TranslateText(u"x"_qs, u"English"_qs, u"xx"_qs, ops), u"error"_qs);
    EXPECT_EQ(modGoogleTranslate::TranslateText(u"x"_qs, u"English"_qs, u"boom"_qs, ops), u"error"_qs);
    EXPECT_EQ(
        modGoogleTranslate::TranslateText(u"x & y"_qs, u"English"_qs, u"Espa\u00f1ol"_qs, ops), u"es:x &amp;amp; y"_qs);
}
