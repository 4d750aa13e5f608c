#include "engines/LibreTranslateEngine.h"

#include "LanguageNames.h"

#include <QJsonArray>

namespace service {

LibreTranslateEngine::LibreTranslateEngine(HttpEngineOptions options, QObject* parent)
    : HttpEngine(QStringLiteral("libretranslate"), QStringLiteral("LibreTranslate"), std::move(options), parent)
{ }

LibreTranslateEngine::LibreTranslateEngine(QUrl baseUrl, QString apiKey, int timeoutMs, QObject* parent)
    : LibreTranslateEngine(HttpEngineOptions{std::move(baseUrl), std::move(apiKey), timeoutMs, {}}, parent)
{ }

QStringList LibreTranslateEngine::sourceCandidates(const QString& clientCode) const
{
    // Servers with their own models say "zh" and "nb"; libretranslate.com says "zh-Hans".
    const QString code = clientCode.toLower();
    if (code == u"zh-cn")
        return {QStringLiteral("zh"), QStringLiteral("zh-Hans")};
    if (code == u"no")
        return {QStringLiteral("nb"), QStringLiteral("no")};
    return {code};
}

void LibreTranslateEngine::request(const QString& text, const QString& source, const QString& target, Callback done)
{
    const QString from = LanguageNames::isAuto(source) ? QStringLiteral("auto") : sourceCode(source);
    QJsonObject body{{QStringLiteral("q"), text}, {QStringLiteral("source"), from},
        {QStringLiteral("target"), targetCode(target, from == u"auto" ? QString() : from)},
        {QStringLiteral("format"), marked() ? QStringLiteral("html") : QStringLiteral("text")}};
    if (!options().key.isEmpty())
        body.insert(QStringLiteral("api_key"), options().key);
    post(QStringLiteral("/translate"), {}, body, [this, done = std::move(done)](const Answer& answer) {
        const QJsonObject json = answer.json.toObject();
        if (answer.status != 200)
            return done(failure(answer));
        if (!json.value(QStringLiteral("translatedText")).isString())
            return done(unexpected(QStringLiteral("no translatedText")));
        TranslationResult result = TranslationResult::ok(json.value(QStringLiteral("translatedText")).toString());
        result.detectedSource = clientCode(
            json.value(QStringLiteral("detectedLanguage")).toObject().value(QStringLiteral("language")).toString());
        done(result);
    });
}

TranslationResult LibreTranslateEngine::failure(const Answer& answer) const
{
    const QString message = answer.json.toObject().value(QStringLiteral("error")).toString();
    if (answer.status == 400) {
        // "Invalid API key", "Visit https://portal.libretranslate.com to get an API key", "Please contact the server
        // operator to get an API key"; and "Invalid request: request (N) exceeds text limit (M)".
        if (message.contains(QLatin1String("API key"), Qt::CaseInsensitive))
            return keyRefused(answer.status, message);
        if (message.contains(QLatin1String("exceeds text limit"), Qt::CaseInsensitive)
            || message.contains(QLatin1String("exceeds character limit"), Qt::CaseInsensitive)) {
            TranslationResult result = refusal(answer, message);
            result.status = TranslationResult::Status::TooLong;
            return result;
        }
    }
    return refusal(answer, message);
}

void LibreTranslateEngine::fetchLanguages(LanguagesHandler done)
{
    // [{"code": "en", "name": "English", "targets": ["de", "es", ...]}, ...]
    get(QStringLiteral("/languages"), {}, [this, done = std::move(done)](const Answer& answer) {
        if (answer.status != 200 || !answer.json.isArray())
            return done(std::nullopt,
                answer.status == 200 ? unexpected(QStringLiteral("not a list")).error : failure(answer).error);
        Languages languages;
        for (const QJsonValue& entry : answer.json.toArray()) {
            const QJsonObject language = entry.toObject();
            const QString code = language.value(QStringLiteral("code")).toString();
            languages.add(code, true, false);
            QSet<QString>& reachable = languages.targetsBySource[code.toLower()];
            for (const QJsonValue& target : language.value(QStringLiteral("targets")).toArray()) {
                languages.add(target.toString(), false, true);
                reachable.insert(target.toString().toLower());
            }
        }
        done(languages, {});
    });
}

} // namespace service
