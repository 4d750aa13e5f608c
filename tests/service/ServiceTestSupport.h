#pragma once

// Shared pieces of the service tests: waiting without sleeps, a raw HTTP client, a fake engine, and the
// Verbolt client's own handling of a reply.

#include "Codec.h"
#include "DecodeHtml.h"
#include "Engine.h"
#include "QtPrinters.h"
#include "WaitUntil.h"
#include "modGoogleTranslate.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

inline std::ostream& operator<<(std::ostream& os, const QByteArray& bytes)
{
    PrintTo(bytes, &os);
    return os;
}

namespace servicetest {

using ::waitUntil;

/// One raw exchange with a server: sends bytes, collects everything until the server closes.
class RawExchange
{
public:
    RawExchange(quint16 port, const QByteArray& request)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { m_received += m_socket.readAll(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, [this] {
            m_received += m_socket.readAll();
            m_closed = true;
        });
        if (!request.isEmpty())
            m_socket.write(request);
    }
    void send(const QByteArray& bytes) { m_socket.write(bytes); }
    /// Waits until everything written has left this side.
    void flush()
    {
        waitUntil(
            [this] { return m_socket.state() == QAbstractSocket::ConnectedState && m_socket.bytesToWrite() == 0; });
    }
    bool waitClosed(int timeoutMs = 10000)
    {
        return waitUntil([this] { return m_closed; }, std::chrono::milliseconds(timeoutMs));
    }
    bool closed() const { return m_closed; }
    QByteArray received() const { return m_received; }
    int status() const { return m_received.mid(9, 3).toInt(); }
    QByteArray body() const
    {
        const qsizetype end = m_received.indexOf("\r\n\r\n");
        return end < 0 ? QByteArray() : m_received.mid(end + 4);
    }
    QByteArray head() const { return m_received.left(m_received.indexOf("\r\n\r\n")); }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    bool m_closed = false;
};

/// A one-off request: the connection closes after its answer.
inline QByteArray get(const QByteArray& target)
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

/// Answers from a table or a function, after a turn of the event loop; can hold answers back.
class FakeEngine : public service::Engine
{
public:
    struct Call {
        QString text, source, target;
    };
    /// By default: "<target>:" followed by the text; target "xx" is an unknown pair, "boom" a breakdown.
    std::function<service::TranslationResult(const Call&)> answer = [](const Call& call) {
        if (call.target == u"xx")
            return service::TranslationResult::refused(
                service::TranslationResult::Status::UnknownPair, QStringLiteral("Unsupported language pair"));
        if (call.target == u"boom")
            return service::TranslationResult::refused(
                service::TranslationResult::Status::Failed, QStringLiteral("engine down"));
        return service::TranslationResult::ok(call.target + u':' + call.text);
    };
    bool holdAnswers = false;
    QList<Call> calls;

    void translate(const QString& text, const QString& source, const QString& target, Callback done) override
    {
        calls.append({text, source, target});
        m_held.append([this, call = calls.last(), done] { done(answer(call)); });
        if (!holdAnswers)
            QTimer::singleShot(0, [this] { release(); });
    }
    QStringList pairs() const override { return {}; }

    qsizetype held() const { return m_held.size(); }
    /// Answers every held call, last first.
    void release()
    {
        const auto held = std::exchange(m_held, {});
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            (*it)();
    }

private:
    QList<std::function<void()>> m_held;
};

/// What the Verbolt client makes of a reply body: bytes to text, the value cut out, " &lt;br&gt;" to CR LF,
/// DecodeHtml, and for incoming chat "~" to "<< ".
inline QString clientReceive(const QByteArray& body, bool incoming)
{
    const QString reply = Codec::decode(body);
    QString text = modGoogleTranslate::GetBetween(reply, QStringLiteral("translatedText"), QStringLiteral("},"));
    text.replace(QStringLiteral(" &lt;br&gt;"), QStringLiteral("\r\n"));
    modGoogleTranslate::DecodeHtml(text);
    if (incoming)
        text.replace(QStringLiteral("~"), QStringLiteral("<< "));
    return text;
}

/// The client's page fetch, done with Qt: the body decoded as the client decodes it; "" on failure.
inline QString fetch(const QString& url)
{
    QNetworkAccessManager network;
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(url)));
    bool done = false;
    QObject::connect(reply, &QNetworkReply::finished, [&] { done = true; });
    waitUntil([&] { return done; }, std::chrono::seconds(20));
    const QString body = done ? Codec::decode(reply->readAll()) : QString();
    reply->deleteLater();
    return body;
}

/// Operations that make the core's TranslateText talk to a service on this machine.
inline modGoogleTranslate::TranslateOps opsFor(quint16 port, QStringList* notices = nullptr)
{
    modGoogleTranslate::TranslateOps ops;
    ops.getUrl = fetch;
    ops.isOnline = [] { return true; };
    ops.notice = [notices](const QString& text) {
        if (notices)
            notices->append(text);
    };
    ops.serviceBase = QStringLiteral("http://127.0.0.1:%1/ajax/services/language/translate?").arg(port);
    return ops;
}

/// Runs one translation on engine and waits for its result.
inline service::TranslationResult translateWith(
    service::Engine& engine, const QString& text, const QString& from, const QString& to)
{
    service::TranslationResult result;
    bool done = false;
    engine.translate(text, from, to, [&](const service::TranslationResult& r) {
        result = r;
        done = true;
    });
    EXPECT_TRUE(waitUntil([&] { return done; }, std::chrono::seconds(30))) << text;
    return result;
}

} // namespace servicetest
