#include "engines/LlmEngine.h"

#include "LanguageNames.h"

#include <QJsonArray>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace service {

LlmEngine::LlmEngine(HttpEngineOptions options, QString model, QObject* parent)
    : HttpEngine(QStringLiteral("llm"), QStringLiteral("LLM %1").arg(model), std::move(options), parent)
    , m_model(std::move(model))
{
    QString base = this->options().baseUrl.path();
    while (base.endsWith(u'/'))
        base.chop(1);
    m_path = base.endsWith(QLatin1String("/v1")) ? QStringLiteral("/chat/completions")
                                                 : QStringLiteral("/v1/chat/completions");
}

QString LlmEngine::instruction(const QString& source, const QString& target)
{
    const QString into = LanguageNames::englishName(target);
    const QString task = LanguageNames::isAuto(source)
        ? QStringLiteral("Translate the user's message into %1; find out yourself which language it is in.").arg(into)
        : QStringLiteral("Translate the user's message from %1 to %2.").arg(LanguageNames::englishName(source), into);
    return task
        + QStringLiteral(" It is a line of a radio amateurs' text chat. Reply with the translation only: no notes, "
                         "no quotes, no explanations. Keep line breaks, names and call signs as they are, and every numbered "
                         "placeholder such as {1} exactly as it is, in the place the sentence needs it.");
}

void LlmEngine::addHeaders(QNetworkRequest& request) const
{
    if (!options().key.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + options().key.toUtf8());
}

void LlmEngine::request(const QString& text, const QString& source, const QString& target, Callback done)
{
    const QJsonObject body{{QStringLiteral("model"), m_model},
        {QStringLiteral("messages"),
            QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                           {QStringLiteral("content"), instruction(source, target)}},
                QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), text}}}},
        {QStringLiteral("temperature"), 0}, {QStringLiteral("stream"), false}};
    post(m_path, {}, body, [this, done = std::move(done)](const Answer& answer) {
        if (answer.status != 200)
            return done(failure(answer));
        const QJsonValue content = answer.json.toObject()
                                       .value(QStringLiteral("choices"))
                                       .toArray()
                                       .first()
                                       .toObject()
                                       .value(QStringLiteral("message"))
                                       .toObject()
                                       .value(QStringLiteral("content"));
        if (!content.isString())
            return done(unexpected(QStringLiteral("no choices[0].message.content")));
        // Reasoning models may put their thinking first.
        static const QRegularExpression thinking(
            QStringLiteral("^\\s*<think>.*?</think>"), QRegularExpression::DotMatchesEverythingOption);
        done(TranslationResult::ok(content.toString().remove(thinking).trimmed()));
    });
}

TranslationResult LlmEngine::failure(const Answer& answer) const
{
    // OpenAI: {"error": {"message", "type", "code"}}; some servers: {"error": "..."}.
    const QJsonValue error = answer.json.toObject().value(QStringLiteral("error"));
    const QString message
        = error.isString() ? error.toString() : error.toObject().value(QStringLiteral("message")).toString();
    const QString code = error.toObject().value(QStringLiteral("code")).toString()
        + error.toObject().value(QStringLiteral("type")).toString();
    if (answer.status == 429 && code.contains(QLatin1String("insufficient_quota")))
        return quotaExceeded(answer);
    if (answer.status == 404 && !message.isEmpty()) {
        return TranslationResult::refused(TranslationResult::Status::Failed,
            QStringLiteral("%1: %2 (404): check model= and url= in [llm]").arg(name(), scrub(message).simplified()));
    }
    if (answer.status == 400) {
        // A model server's 400 is about the request, not the languages.
        TranslationResult result = refusal(answer, message);
        result.status = TranslationResult::Status::Failed;
        return result;
    }
    return refusal(answer, message);
}

} // namespace service
