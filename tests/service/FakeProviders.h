#pragma once

// Loopback fakes of the translation providers, each speaking its documented wire format: DeepL API v2, Google
// Cloud Translation v2, LibreTranslate, OpenAI-compatible chat completions. They "translate" a text into
// "[<target as the provider spells it>] text", so a reply shows which code went out.

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <functional>
#include <memory>

namespace servicetest {

/// A loopback HTTP/1.1 server (plain, or TLS when given a configuration): requests go to handler, every request
/// is kept. Connections are kept alive as clients ask.
class FakeHttpServer
{
public:
    struct Request {
        QByteArray method;
        QByteArray target; ///< as on the request line
        QString path; ///< without the prefix
        QUrlQuery query;
        QHash<QByteArray, QByteArray> headers; ///< lower-case names
        QByteArray body;
        QJsonValue json() const
        {
            const QJsonDocument document = QJsonDocument::fromJson(body);
            return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
        }
    };
    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray extraHeaders;
        bool hold = false; ///< never answer
    };
    std::function<Response(const Request&)> handler = [](const Request&) { return Response{404, "{}", {}, false}; };
    QList<Request> requests;
    /// Taken off the front of every path, as a server behind a path prefix would.
    QString prefix;

    explicit FakeHttpServer(const QSslConfiguration* tls = nullptr)
    {
        if (tls) {
            auto* server = new QSslServer;
            server->setSslConfiguration(*tls);
            m_server.reset(server);
        } else {
            m_server.reset(new QTcpServer);
        }
        m_server->listen(QHostAddress::LocalHost, 0);
        QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection())
                serve(socket);
        });
    }
    QUrl url(const QString& prefix = {}) const
    {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                        .arg(qobject_cast<QSslServer*>(m_server.get()) ? u"https"_qs : u"http"_qs)
                        .arg(m_server->serverPort())
                        .arg(prefix));
    }

private:
    void serve(QTcpSocket* socket)
    {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            for (;;) {
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                Request request;
                const QList<QByteArray> lines = buffer->left(end).split('\n');
                const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
                for (qsizetype i = 1; i < lines.size(); ++i) {
                    const qsizetype colon = lines[i].indexOf(':');
                    request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
                }
                const qsizetype length = request.headers.value("content-length").toLongLong();
                if (buffer->size() < end + 4 + length)
                    return;
                request.method = first.value(0);
                request.target = first.value(1);
                const QUrl target(QString::fromUtf8(first.value(1)));
                request.path = target.path().startsWith(prefix) ? target.path().mid(prefix.size()) : target.path();
                request.query = QUrlQuery(target);
                request.body = buffer->mid(end + 4, length);
                buffer->remove(0, end + 4 + length);
                requests.append(request);
                const Response response = handler(request);
                if (response.hold)
                    continue;
                socket->write("HTTP/1.1 " + QByteArray::number(response.status)
                    + " X\r\nContent-Type: application/json\r\nContent-Length: "
                    + QByteArray::number(response.body.size()) + "\r\n" + response.extraHeaders + "\r\n"
                    + response.body);
            }
        });
    }

    std::unique_ptr<QTcpServer> m_server;
};

using Response = FakeHttpServer::Response;
using Request = FakeHttpServer::Request;

inline Response json(int status, const QJsonValue& value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return {status, document.toJson(QJsonDocument::Compact), {}, false};
}

inline QString fakeTranslation(const QString& target, const QString& text)
{
    return u'[' + target + QStringLiteral("] ") + text;
}

/// DeepL API v2; sources and targets as DeepL lists them.
inline std::function<Response(const Request&)> deepl(QString key, QStringList sources, QStringList targets)
{
    return [=](const Request& r) {
        if (r.headers.value("authorization") != "DeepL-Auth-Key " + key.toUtf8())
            return json(403, QJsonObject{{u"message"_qs, u"Authorization failure, check auth_key"_qs}});
        if (r.method == "GET" && r.path == u"/v2/languages") {
            QJsonArray list;
            for (const QString& code : r.query.queryItemValue(u"type"_qs) == u"target" ? targets : sources)
                list.append(QJsonObject{{u"language"_qs, code}, {u"name"_qs, code}});
            return json(200, list);
        }
        const QJsonObject body = r.json().toObject();
        const QString target = body.value(u"target_lang"_qs).toString();
        const QString source = body.value(u"source_lang"_qs).toString();
        if (r.method != "POST" || r.path != u"/v2/translate")
            return json(404, QJsonObject{});
        if (!targets.contains(target) || (body.contains(u"source_lang"_qs) && !sources.contains(source)))
            return json(400, QJsonObject{{u"message"_qs, u"Value for 'target_lang' not supported."_qs}});
        return json(200,
            QJsonObject{{u"translations"_qs,
                QJsonArray{QJsonObject{{u"detected_source_language"_qs, source.isEmpty() ? u"EN"_qs : source},
                    {u"text"_qs, fakeTranslation(target, body.value(u"text"_qs).toArray().first().toString())}}}}});
    };
}

inline Response googleError(int status, const QString& message, const QString& reason)
{
    return json(status,
        QJsonObject{{u"error"_qs,
            QJsonObject{{u"code"_qs, status}, {u"message"_qs, message},
                {u"errors"_qs, QJsonArray{QJsonObject{{u"message"_qs, message}, {u"reason"_qs, reason}}}},
                {u"status"_qs, u"INVALID_ARGUMENT"_qs}}}});
}

/// Google Cloud Translation v2 (basic).
inline std::function<Response(const Request&)> google(QString key, QStringList codes)
{
    return [=](const Request& r) {
        if (r.query.queryItemValue(u"key"_qs, QUrl::FullyDecoded) != key)
            return googleError(400, u"API key not valid. Please pass a valid API key."_qs, u"keyInvalid"_qs);
        if (r.method == "GET" && r.path == u"/language/translate/v2/languages") {
            QJsonArray list;
            for (const QString& code : codes)
                list.append(QJsonObject{{u"language"_qs, code}});
            return json(200, QJsonObject{{u"data"_qs, QJsonObject{{u"languages"_qs, list}}}});
        }
        const QJsonObject body = r.json().toObject();
        const QString source = body.value(u"source"_qs).toString();
        const QString target = body.value(u"target"_qs).toString();
        if (r.method != "POST" || r.path != u"/language/translate/v2")
            return json(404, QJsonObject{});
        if (!codes.contains(target) || (body.contains(u"source"_qs) && !codes.contains(source)))
            return googleError(400, u"Bad language pair: %1|%2"_qs.arg(source, target), u"badRequest"_qs);
        QJsonObject translation{{u"translatedText"_qs, fakeTranslation(target, body.value(u"q"_qs).toString())}};
        if (source.isEmpty())
            translation.insert(u"detectedSourceLanguage"_qs, u"en"_qs);
        return json(200, QJsonObject{{u"data"_qs, QJsonObject{{u"translations"_qs, QJsonArray{translation}}}}});
    };
}

/// LibreTranslate; an empty key means the server wants none.
inline std::function<Response(const Request&)> libreTranslate(QString key, QStringList codes)
{
    return [=](const Request& r) {
        if (r.method == "GET" && r.path == u"/languages") {
            QJsonArray list;
            for (const QString& code : codes) {
                QStringList targets = codes;
                targets.removeAll(code);
                list.append(QJsonObject{
                    {u"code"_qs, code}, {u"name"_qs, code}, {u"targets"_qs, QJsonArray::fromStringList(targets)}});
            }
            return json(200, list);
        }
        const QJsonObject body = r.json().toObject();
        const QString source = body.value(u"source"_qs).toString();
        const QString target = body.value(u"target"_qs).toString();
        if (r.method != "POST" || r.path != u"/translate")
            return json(404, QJsonObject{{u"error"_qs, u"Not Found"_qs}});
        if (!key.isEmpty() && body.value(u"api_key"_qs).toString() != key)
            return json(403, QJsonObject{{u"error"_qs, u"Invalid API key"_qs}});
        for (const QString& code : {source, target}) {
            if (!codes.contains(code) && code != u"auto")
                return json(400, QJsonObject{{u"error"_qs, code + u" is not supported"_qs}});
        }
        QJsonObject answer{{u"translatedText"_qs, fakeTranslation(target, body.value(u"q"_qs).toString())}};
        if (source == u"auto")
            answer.insert(u"detectedLanguage"_qs, QJsonObject{{u"confidence"_qs, 90}, {u"language"_qs, u"en"_qs}});
        return json(200, answer);
    };
}

/// An OpenAI-compatible chat completions server with one model; "translates" into the language its instruction
/// names after "to" or "into", padded with white space the engine must trim.
inline std::function<Response(const Request&)> chatCompletions(QString key, QString model, QString path)
{
    return [=](const Request& r) {
        if (!key.isEmpty() && r.headers.value("authorization") != "Bearer " + key.toUtf8())
            return json(401,
                QJsonObject{{u"error"_qs,
                    QJsonObject{
                        {u"message"_qs, u"Incorrect API key provided"_qs}, {u"code"_qs, u"invalid_api_key"_qs}}}});
        const QJsonObject body = r.json().toObject();
        if (r.method != "POST" || r.path != path)
            return json(404, QJsonObject{{u"error"_qs, u"404 page not found"_qs}});
        if (body.value(u"model"_qs).toString() != model) {
            return json(404,
                QJsonObject{{u"error"_qs,
                    QJsonObject{{u"message"_qs,
                        u"model \"%1\" not found, try pulling it first"_qs.arg(body.value(u"model"_qs).toString())}}}});
        }
        const QJsonArray messages = body.value(u"messages"_qs).toArray();
        static const QRegularExpression into(u"(?:to|into) ([A-Z][a-z]+(?: \\([A-Za-z]+\\))?)[.;]"_qs);
        const QString instruction = messages[0].toObject().value(u"content"_qs).toString();
        if (messages.size() != 2 || messages[0].toObject().value(u"role"_qs).toString() != u"system"
            || messages[1].toObject().value(u"role"_qs).toString() != u"user"
            || body.value(u"temperature"_qs) != QJsonValue(0) || body.value(u"stream"_qs) != QJsonValue(false)
            || !into.match(instruction).hasMatch())
            return json(400, QJsonObject{{u"error"_qs, QJsonObject{{u"message"_qs, u"unexpected request"_qs}}}});
        const QString text = fakeTranslation(
            into.match(instruction).captured(1), messages[1].toObject().value(u"content"_qs).toString());
        return json(200,
            QJsonObject{{u"choices"_qs,
                QJsonArray{QJsonObject{{u"index"_qs, 0},
                    {u"message"_qs,
                        QJsonObject{{u"role"_qs, u"assistant"_qs}, {u"content"_qs, u"\n  "_qs + text + u" \n"_qs}}},
                    {u"finish_reason"_qs, u"stop"_qs}}}}});
    };
}

} // namespace servicetest
