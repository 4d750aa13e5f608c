#include "LibreTranslateEngine.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace service {

LibreTranslateEngine::LibreTranslateEngine(QUrl baseUrl, QString apiKey, int timeoutMs, QObject* parent)
    : QObject(parent)
    , m_apiKey(std::move(apiKey))
    , m_timeoutMs(timeoutMs)
{
    QString path = baseUrl.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    baseUrl.setPath(path + QStringLiteral("/translate"));
    m_endpoint = baseUrl;
}

QString LibreTranslateEngine::libreCode(const QString& clientCode)
{
    const QString code = clientCode.trimmed().toLower();
    if (code == u"zh-cn")
        return QStringLiteral("zh");
    if (code == u"no")
        return QStringLiteral("nb");
    return code;
}

void LibreTranslateEngine::translate(const QString& text, const QString& source, const QString& target, Callback done)
{
    QJsonObject body{{QStringLiteral("q"), text}, {QStringLiteral("source"), libreCode(source)},
        {QStringLiteral("target"), libreCode(target)}, {QStringLiteral("format"), QStringLiteral("text")}};
    if (!m_apiKey.isEmpty())
        body.insert(QStringLiteral("api_key"), m_apiKey);

    QNetworkRequest request(m_endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(m_timeoutMs);
    QNetworkReply* reply = m_network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    connect(reply, &QNetworkReply::finished, this, [reply, done = std::move(done)] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        const QString error = answer.value(QStringLiteral("error")).toString();
        if (status == 200 && answer.value(QStringLiteral("translatedText")).isString()) {
            TranslationResult result = TranslationResult::ok(answer.value(QStringLiteral("translatedText")).toString());
            result.detectedSource = answer.value(QStringLiteral("detectedLanguage"))
                                        .toObject()
                                        .value(QStringLiteral("language"))
                                        .toString();
            done(result);
        } else if (status == 400) {
            // LibreTranslate answers 400 for languages it does not have, and for texts it will not take.
            done(TranslationResult::refused(TranslationResult::Status::UnknownPair,
                error.isEmpty() ? QStringLiteral("LibreTranslate refused the request")
                                : QStringLiteral("LibreTranslate: ") + error));
        } else if (status == 0) {
            done(TranslationResult::refused(TranslationResult::Status::Failed,
                QStringLiteral("LibreTranslate unreachable: ") + reply->errorString()));
        } else {
            done(TranslationResult::refused(TranslationResult::Status::Failed,
                QStringLiteral("LibreTranslate answered %1%2")
                    .arg(status)
                    .arg(error.isEmpty() ? QString() : QStringLiteral(": ") + error)));
        }
    });
}

} // namespace service
