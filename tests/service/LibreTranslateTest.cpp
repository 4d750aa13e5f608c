// Forwarding to LibreTranslate, against a loopback server that speaks its API.
#include "engines/LibreTranslateEngine.h"
#include "http/ReplyEncoding.h"
#include "http/ServiceServer.h"
#include "ServiceTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>

#include <gtest/gtest.h>

using namespace servicetest;

namespace {

/// Answers every request with one fixed status and body, and keeps the requests it got.
class FakeLibreTranslate
{
public:
    FakeLibreTranslate()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    const qsizetype end = buffer->indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QByteArray head = buffer->left(end).toLower();
                    const qsizetype at = head.indexOf("content-length:");
                    const qsizetype length
                        = at < 0 ? 0 : head.mid(at + 15, head.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
                    if (buffer->size() < end + 4 + length)
                        return;
                    // The engine's languages query is not what these tests look at.
                    if (!buffer->startsWith("GET /languages "))
                        requests.append(
                            {buffer->left(end), QJsonDocument::fromJson(buffer->mid(end + 4, length)).object()});
                    socket->write("HTTP/1.1 " + QByteArray::number(status)
                        + " X\r\nContent-Type: application/json\r\n"
                          "Content-Length: "
                        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort())); }

    struct Request {
        QByteArray head;
        QJsonObject json;
    };
    QList<Request> requests;
    int status = 200;
    QByteArray body;

private:
    QTcpServer m_server;
};

} // namespace

TEST(LibreTranslate, forwardsTheTextAndCodesAsItsApiWantsThem)
{
    FakeLibreTranslate fake;
    fake.body
        = R"({"translatedText": "Hei \"verden\"\nlinje 2", "detectedLanguage": {"confidence": 90, "language": "en"}})";
    service::LibreTranslateEngine engine(fake.url(), u"secret"_qs);

    const auto result = translateWith(engine, u"Hello \"world\"\nline 2 & more"_qs, u"auto"_qs, u"no"_qs);
    EXPECT_EQ(result.status, service::TranslationResult::Status::Ok);
    EXPECT_EQ(result.text, u"Hei \"verden\"\nlinje 2"_qs);
    EXPECT_EQ(result.detectedSource, u"en"_qs);
    ASSERT_EQ(fake.requests.size(), 1);
    EXPECT_TRUE(fake.requests[0].head.startsWith("POST /translate HTTP/1.1\r\n")) << fake.requests[0].head;
    EXPECT_TRUE(fake.requests[0].head.toLower().contains("content-type: application/json"));
    EXPECT_EQ(fake.requests[0].json,
        (QJsonObject{{u"q"_qs, u"Hello \"world\"\nline 2 & more"_qs}, {u"source"_qs, u"auto"_qs},
            {u"target"_qs, u"nb"_qs}, {u"format"_qs, u"text"_qs}, {u"api_key"_qs, u"secret"_qs}}));

    translateWith(engine, u"x"_qs, u"en"_qs, u"zh-CN"_qs);
    ASSERT_EQ(fake.requests.size(), 2);
    EXPECT_EQ(fake.requests[1].json.value(u"target"_qs).toString(), u"zh"_qs);
}

TEST(LibreTranslate, refusalsAndBreakdowns)
{
    FakeLibreTranslate fake;
    service::LibreTranslateEngine engine(fake.url(), {});

    fake.status = 400;
    fake.body = R"({"error": "xx is not supported"})";
    auto result = translateWith(engine, u"x"_qs, u"en"_qs, u"xx"_qs);
    EXPECT_EQ(result.status, service::TranslationResult::Status::UnknownPair);
    EXPECT_EQ(result.error, u"LibreTranslate: xx is not supported"_qs);
    EXPECT_FALSE(fake.requests[0].json.contains(u"api_key"_qs));

    fake.status = 500;
    fake.body = "oops";
    result = translateWith(engine, u"x"_qs, u"en"_qs, u"es"_qs);
    EXPECT_EQ(result.status, service::TranslationResult::Status::Failed);

    // Nothing listens there.
    QUrl closed;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closed = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort()));
    }
    service::LibreTranslateEngine nowhere(closed, {});
    result = translateWith(nowhere, u"x"_qs, u"en"_qs, u"es"_qs);
    EXPECT_EQ(result.status, service::TranslationResult::Status::Failed);
    EXPECT_EQ(result.error, u"LibreTranslate at %1 unreachable: connection refused"_qs.arg(closed.toString()));
}

TEST(LibreTranslate, behindTheServiceTheClientGetsTheTranslation)
{
    FakeLibreTranslate fake;
    fake.body = R"({"translatedText": "Buenos d\u00edas & \"amigos\"\n\u00a1Hola!"})";
    service::LibreTranslateEngine engine(fake.url(), {});
    service::ServiceServer server(engine);
    server.setLogSink([](const QString&) {});
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));

    QString result = modGoogleTranslate::TranslateText(
        u"Good morning"_qs, u"English"_qs, u"Espa\u00f1ol"_qs, opsFor(server.serverPort()));
    result.replace(u" &lt;br&gt;"_qs, u"\r\n"_qs);
    EXPECT_EQ(modGoogleTranslate::DecodeHtml(result), u"Buenos d\u00edas & \"amigos\"\r\n\u00a1Hola!"_qs);

    fake.status = 400;
    fake.body = R"({"error": "Language not supported"})";
    RawExchange refused(server.serverPort(), get("/ajax/services/language/translate?q=x&langpair=en|xx"));
    ASSERT_TRUE(refused.waitClosed());
    EXPECT_EQ(refused.status(), 400);
    EXPECT_EQ(refused.body(), ReplyEncoding::refusalReply(400, u"LibreTranslate: Language not supported"_qs));
}
