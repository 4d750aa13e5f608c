#pragma once

// Loopback fakes of the translation providers, each speaking its documented wire format and sending what the
// provider sends: DeepL API (v2 translate, v3 languages), Google Cloud Translation v2, LibreTranslate, MyMemory,
// OpenAI-compatible chat completions. They "translate" a text into "[<target as the provider spells it>] text", so
// a reply shows which code went out.

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

/// DeepL API: translations on v2, languages on v3 (one list, each entry usable as source, target or both);
/// sources and targets as DeepL lists them.
inline std::function<Response(const Request&)> deepl(QString key, QStringList sources, QStringList targets)
{
    return [=](const Request& r) {
        if (r.headers.value("authorization") != "DeepL-Auth-Key " + key.toUtf8())
            return json(403, QJsonObject{{u"message"_qs, u"Authorization failure, check auth_key"_qs}});
        if (r.method == "GET" && r.path == u"/v3/languages"
            && r.query.queryItemValue(u"resource"_qs) == u"translate_text") {
            QStringList all = sources;
            for (const QString& code : targets) {
                if (!all.contains(code))
                    all.append(code);
            }
            QJsonArray list;
            for (const QString& code : all)
                list.append(QJsonObject{{u"lang"_qs, code}, {u"name"_qs, code},
                    {u"usable_as_source"_qs, sources.contains(code)}, {u"usable_as_target"_qs, targets.contains(code)},
                    {u"features"_qs, QJsonObject{}}});
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

/// Google's error body; detail: the reason in details[] (an ErrorInfo), when it sends one.
inline Response googleError(int status, const QString& message, const QString& reason, const QString& detail = {},
    const QString& statusName = u"INVALID_ARGUMENT"_qs)
{
    QJsonObject error{{u"code"_qs, status}, {u"message"_qs, message},
        {u"errors"_qs,
            QJsonArray{QJsonObject{{u"message"_qs, message}, {u"domain"_qs, u"global"_qs}, {u"reason"_qs, reason}}}},
        {u"status"_qs, statusName}};
    if (!detail.isEmpty())
        error.insert(u"details"_qs,
            QJsonArray{QJsonObject{{u"@type"_qs, u"type.googleapis.com/google.rpc.ErrorInfo"_qs},
                {u"reason"_qs, detail}, {u"domain"_qs, u"googleapis.com"_qs}}});
    return json(status, QJsonObject{{u"error"_qs, error}});
}

/// Google Cloud Translation v2 (basic).
inline std::function<Response(const Request&)> google(QString key, QStringList codes)
{
    return [=](const Request& r) {
        if (r.query.queryItemValue(u"key"_qs, QUrl::FullyDecoded) != key)
            return googleError(
                400, u"API key not valid. Please pass a valid API key."_qs, u"badRequest"_qs, u"API_KEY_INVALID"_qs);
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

/// LibreTranslate; an empty key means the server wants none. Without a key where one is wanted it answers 400,
/// with a wrong one 403; a text over 5000 characters is a 400 too.
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
        if (!key.isEmpty() && body.value(u"api_key"_qs).toString().isEmpty())
            return json(
                400, QJsonObject{{u"error"_qs, u"Visit https://portal.libretranslate.com to get an API key"_qs}});
        if (!key.isEmpty() && body.value(u"api_key"_qs).toString() != key)
            return json(403, QJsonObject{{u"error"_qs, u"Invalid API key"_qs}});
        if (body.value(u"q"_qs).toString().size() > 5000)
            return json(400,
                QJsonObject{{u"error"_qs,
                    u"Invalid request: request (%1) exceeds text limit (5000)"_qs.arg(
                        body.value(u"q"_qs).toString().size())}});
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

/// An OpenAI-compatible chat completions server with one model; "translates" the text between the user message's
/// delimiters into the language its instruction names after "to" or "into", padded with white space the engine must
/// trim. Any temperature, or none, is taken. A text holding one of these words gets what models send:
///   #think     a reasoning block first           #closing   reasoning ended by </think> alone (no opening tag)
///   #unclosed  cut off inside the reasoning      #length    finish_reason "length", half the text
///   #null      content null (with a refusal)     #label     "Translation: " and quotes around the text
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
        // As a model reads it: the text starts after the opening tag the instruction names and ends at the first
        // closing one.
        static const QRegularExpression named(u"given between <([^<>]+)> and </\\1>"_qs);
        const QString instruction = messages[0].toObject().value(u"content"_qs).toString();
        const QString tag = named.match(instruction).captured(1);
        const QString delimited = messages[1].toObject().value(u"content"_qs).toString();
        const QString open = u"<"_qs + tag + u">\n"_qs;
        const qsizetype close = delimited.indexOf(u"\n</"_qs + tag + u">"_qs);
        const bool delimitedWell = !tag.isEmpty() && delimited.startsWith(open) && close >= open.size();
        const QJsonValue temperature = body.value(u"temperature"_qs);
        if (messages.size() != 2 || messages[0].toObject().value(u"role"_qs).toString() != u"system"
            || messages[1].toObject().value(u"role"_qs).toString() != u"user"
            || !(temperature.isUndefined() || temperature.isDouble()) || body.value(u"stream"_qs) != QJsonValue(false)
            || !into.match(instruction).hasMatch() || !delimitedWell)
            return json(400, QJsonObject{{u"error"_qs, QJsonObject{{u"message"_qs, u"unexpected request"_qs}}}});
        const QString source = delimited.mid(open.size(), close - open.size());
        const QString text = fakeTranslation(into.match(instruction).captured(1), source);
        QJsonValue content = u"\n  "_qs + text + u" \n"_qs;
        QString finish = u"stop"_qs;
        QJsonObject message{{u"role"_qs, u"assistant"_qs}};
        if (source.contains(u"#think"_qs))
            content = u"<think>\nThe user wants a translation. Let me think.\n</think>\n\n"_qs + text;
        else if (source.contains(u"#closing"_qs))
            content = u"Okay, the user wrote a chat line; I translate it.\n</think>\n\n"_qs + text;
        else if (source.contains(u"#unclosed"_qs))
            content = u"<think>\nThe user wants a translation. First I consider"_qs;
        else if (source.contains(u"#length"_qs)) {
            content = text.left(text.size() / 2);
            finish = u"length"_qs;
        } else if (source.contains(u"#null"_qs)) {
            content = QJsonValue::Null;
            message.insert(u"refusal"_qs, u"I can't help with that."_qs);
        } else if (source.contains(u"#label"_qs))
            content = u"Translation: \u201c"_qs + text + u"\u201d"_qs;
        message.insert(u"content"_qs, content);
        return json(200,
            QJsonObject{{u"choices"_qs,
                QJsonArray{QJsonObject{{u"index"_qs, 0}, {u"message"_qs, message}, {u"finish_reason"_qs, finish}}}}});
    };
}

/// The answers of MyMemory's GET /get, as it sends them: a translation; a refusal of the daily quota (HTTP 429,
/// quotaFinished, the warning in translatedText); an invalid pair and a query over 500 bytes (responseStatus "403",
/// the reason in both translatedText and responseDetails). dailyChars: characters a day without de=, ten times as
/// many with it. maxQueryBytes: 500 as documented; less to see the refusal of a longer one.
class MyMemoryFake
{
public:
    explicit MyMemoryFake(qsizetype dailyChars = 5000, qsizetype maxQueryBytes = 500)
        : m_daily(dailyChars)
        , m_maxQuery(maxQueryBytes)
    { }

    std::function<Response(const Request&)> handler()
    {
        return [this](const Request& r) {
            if (r.method != "GET" || r.path != u"/get")
                return json(404, QJsonObject{{u"responseStatus"_qs, 404}});
            const QString q = r.query.queryItemValue(u"q"_qs, QUrl::FullyDecoded);
            const QStringList pair = r.query.queryItemValue(u"langpair"_qs, QUrl::FullyDecoded).split(u'|');
            const QString email = r.query.queryItemValue(u"de"_qs, QUrl::FullyDecoded);
            if (q.toUtf8().size() > m_maxQuery)
                return refusal(u"QUERY LENGTH LIMIT EXCEEDED. MAX ALLOWED QUERY : 500 CHARS"_qs);
            static const QRegularExpression code(u"^[a-z]{2,3}(-[A-Za-z]{2,4})?$"_qs);
            for (int i = 0; i < 2; ++i) {
                if (pair.size() != 2 || !code.match(pair.value(i)).hasMatch())
                    return refusal(
                        u"'%1' IS AN INVALID %2 LANGUAGE . EXAMPLE: LANGPAIR=EN|IT USING 2 LETTER ISO OR "
                        "RFC3066 LIKE ZH-CN. ALMOST ALL LANGUAGES SUPPORTED BUT SOME MAY HAVE NO CONTENT"_qs.arg(
                            pair.value(i).toUpper(), i == 0 ? u"SOURCE"_qs : u"TARGET"_qs));
            }
            m_used += q.size();
            if (m_used > (email.isEmpty() ? m_daily : 10 * m_daily)) {
                const QString warning = u"MYMEMORY WARNING: YOU USED ALL AVAILABLE FREE TRANSLATIONS FOR TODAY. NEXT "
                                        "AVAILABLE IN  02 HOURS 30 MINUTES 15 SECONDS VISIT "
                                        "HTTPS://MYMEMORY.TRANSLATED.NET/DOC/USAGELIMITS.PHP TO TRANSLATE MORE"_qs;
                return json(429,
                    QJsonObject{{u"responseData"_qs, QJsonObject{{u"translatedText"_qs, warning}}},
                        {u"quotaFinished"_qs, true}, {u"responseDetails"_qs, warning}, {u"responseStatus"_qs, 429}});
            }
            return json(200,
                QJsonObject{{u"responseData"_qs,
                                QJsonObject{{u"translatedText"_qs, fakeTranslation(pair[1], q)}, {u"match"_qs, 0.85}}},
                    {u"quotaFinished"_qs, false}, {u"mtLangSupported"_qs, QJsonValue::Null},
                    {u"responseDetails"_qs, u""_qs}, {u"responseStatus"_qs, 200}, {u"responderId"_qs, QJsonValue::Null},
                    {u"exception_code"_qs, QJsonValue::Null}, {u"matches"_qs, QJsonArray{}}});
        };
    }

private:
    static Response refusal(const QString& reason)
    {
        return json(200,
            QJsonObject{{u"responseData"_qs, QJsonObject{{u"translatedText"_qs, reason}}}, {u"quotaFinished"_qs, false},
                {u"responseDetails"_qs, reason}, {u"responseStatus"_qs, u"403"_qs}});
    }

    qsizetype m_daily;
    qsizetype m_maxQuery;
    qsizetype m_used = 0;
};

} // namespace servicetest
