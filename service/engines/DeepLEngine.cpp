#include "engines/DeepLEngine.h"

#include "LanguageNames.h"

#include <QJsonArray>
#include <QNetworkRequest>

namespace service {

DeepLEngine::DeepLEngine(HttpEngineOptions options, QObject* parent)
    : HttpEngine(
        QStringLiteral("deepl"), QStringLiteral("DeepL"),
        [&] {
            if (options.baseUrl.isEmpty())
                options.baseUrl = defaultUrl(options.key);
            return std::move(options);
        }(),
        parent)
{ }

QUrl DeepLEngine::defaultUrl(const QString& key)
{
    return QUrl(key.endsWith(QLatin1String(":fx")) ? QStringLiteral("https://api-free.deepl.com")
                                                   : QStringLiteral("https://api.deepl.com"));
}

void DeepLEngine::addHeaders(QNetworkRequest& request) const
{
    request.setRawHeader("Authorization", "DeepL-Auth-Key " + options().key.toUtf8());
}

QStringList DeepLEngine::sourceCandidates(const QString& clientCode) const
{
    const QString code = clientCode.toLower();
    if (code == u"zh-cn")
        return {QStringLiteral("ZH")};
    if (code == u"no")
        return {QStringLiteral("NB")};
    return {clientCode.toUpper()};
}

QStringList DeepLEngine::targetCandidates(const QString& clientCode) const
{
    // Targets name the variant; the plain codes are what older language lists offer.
    const QString code = clientCode.toLower();
    if (code == u"en")
        return {QStringLiteral("EN-GB"), QStringLiteral("EN-US"), QStringLiteral("EN")};
    if (code == u"pt")
        return {QStringLiteral("PT-PT"), QStringLiteral("PT-BR"), QStringLiteral("PT")};
    if (code == u"zh-cn")
        return {QStringLiteral("ZH-HANS"), QStringLiteral("ZH")};
    if (code == u"no")
        return {QStringLiteral("NB")};
    return {clientCode.toUpper()};
}

void DeepLEngine::request(const QString& text, const QString& source, const QString& target, Callback done)
{
    // The list spells codes as BCP 47 ("zh-Hans"); the translation request takes them in capitals.
    QJsonObject body{
        {QStringLiteral("text"), QJsonArray{text}}, {QStringLiteral("target_lang"), targetCode(target).toUpper()}};
    if (!LanguageNames::isAuto(source))
        body.insert(QStringLiteral("source_lang"), sourceCode(source).toUpper());
    if (marked()) {
        body.insert(QStringLiteral("tag_handling"), QStringLiteral("xml"));
        body.insert(QStringLiteral("ignore_tags"), QJsonArray{QStringLiteral("x")});
    }
    post(QStringLiteral("/v2/translate"), {}, body, [this, done = std::move(done)](const Answer& answer) {
        const QJsonObject first
            = answer.json.toObject().value(QStringLiteral("translations")).toArray().first().toObject();
        if (answer.status != 200)
            return done(failure(answer));
        if (!first.value(QStringLiteral("text")).isString())
            return done(unexpected(QStringLiteral("no translations[0].text")));
        TranslationResult result = TranslationResult::ok(first.value(QStringLiteral("text")).toString());
        result.detectedSource = clientCode(first.value(QStringLiteral("detected_source_language")).toString());
        done(result);
    });
}

TranslationResult DeepLEngine::failure(const Answer& answer) const
{
    return refusal(answer, answer.json.toObject().value(QStringLiteral("message")).toString());
}

void DeepLEngine::fetchLanguages(LanguagesHandler done)
{
    // [{"lang": "de", "name": "German", "usable_as_source": true, "usable_as_target": true, "features": {...}}, ...]
    QUrlQuery parameters;
    parameters.addQueryItem(QStringLiteral("resource"), QStringLiteral("translate_text"));
    get(QStringLiteral("/v3/languages"), parameters, [this, done = std::move(done)](const Answer& answer) {
        if (answer.status != 200 || !answer.json.isArray())
            return done(std::nullopt,
                answer.status == 200 ? unexpected(QStringLiteral("not a list")).error : failure(answer).error);
        Languages languages;
        for (const QJsonValue& entry : answer.json.toArray()) {
            const QJsonObject language = entry.toObject();
            languages.add(language.value(QStringLiteral("lang")).toString(),
                language.value(QStringLiteral("usable_as_source")).toBool(),
                language.value(QStringLiteral("usable_as_target")).toBool());
        }
        done(languages, {});
    });
}

} // namespace service
