#include "engines/GoogleEngine.h"

#include "LanguageNames.h"

#include <QJsonArray>

namespace service {

namespace {

constexpr int kPerMinuteRestMs = 60 * 1000;

// Reasons Google gives when a limit per minute is the problem: over in about a minute.
bool isRateLimit(const QString& reason)
{
    static const QStringList kLimits = {QStringLiteral("userRateLimitExceeded"), QStringLiteral("rateLimitExceeded"),
        QStringLiteral("RATE_LIMIT_EXCEEDED")};
    return kLimits.contains(reason);
}

// Reasons Google gives when a daily limit or the project's quota is spent.
bool isQuota(const QString& reason)
{
    static const QStringList kLimits = {QStringLiteral("dailyLimitExceeded"), QStringLiteral("quotaExceeded"),
        QStringLiteral("dailyLimitExceededUnreg"), QStringLiteral("RESOURCE_EXHAUSTED")};
    return kLimits.contains(reason);
}

} // namespace

GoogleEngine::GoogleEngine(HttpEngineOptions options, QObject* parent)
    : HttpEngine(
        QStringLiteral("google"), QStringLiteral("Google"),
        [&] {
            if (options.baseUrl.isEmpty())
                options.baseUrl = QUrl(QStringLiteral("https://translation.googleapis.com"));
            return std::move(options);
        }(),
        parent)
{ }

QStringList GoogleEngine::sourceCandidates(const QString& clientCode) const
{
    const QString code = clientCode.toLower();
    if (code == u"zh-cn")
        return {QStringLiteral("zh-CN"), QStringLiteral("zh")};
    if (code == u"no")
        return {QStringLiteral("no"), QStringLiteral("nb")};
    return {code};
}

QUrlQuery GoogleEngine::keyQuery() const
{
    QUrlQuery query;
    // Encoded here: QUrlQuery would send a "+" as it is, which servers read as a space.
    query.addQueryItem(QStringLiteral("key"), QString::fromLatin1(QUrl::toPercentEncoding(options().key)));
    return query;
}

void GoogleEngine::request(const QString& text, const QString& source, const QString& target, Callback done)
{
    QJsonObject body{{QStringLiteral("q"), text}, {QStringLiteral("target"), targetCode(target)},
        {QStringLiteral("format"), marked() ? QStringLiteral("html") : QStringLiteral("text")}};
    if (!LanguageNames::isAuto(source))
        body.insert(QStringLiteral("source"), sourceCode(source));
    post(QStringLiteral("/language/translate/v2"), keyQuery(), body,
        [this, done = std::move(done)](const Answer& answer) {
            if (answer.status != 200)
                return done(failure(answer));
            const QJsonObject first = answer.json.toObject()
                                          .value(QStringLiteral("data"))
                                          .toObject()
                                          .value(QStringLiteral("translations"))
                                          .toArray()
                                          .first()
                                          .toObject();
            if (!first.value(QStringLiteral("translatedText")).isString())
                return done(unexpected(QStringLiteral("no data.translations[0].translatedText")));
            TranslationResult result = TranslationResult::ok(first.value(QStringLiteral("translatedText")).toString());
            result.detectedSource = clientCode(first.value(QStringLiteral("detectedSourceLanguage")).toString());
            done(result);
        });
}

TranslationResult GoogleEngine::failure(const Answer& answer) const
{
    // {"error": {"code", "message", "errors": [{"reason"}], "status", "details": [{"reason"}]}}
    const QJsonObject error = answer.json.toObject().value(QStringLiteral("error")).toObject();
    QStringList reasons{error.value(QStringLiteral("status")).toString()};
    for (const char* list : {"errors", "details"}) {
        for (const QJsonValue& entry : error.value(QLatin1String(list)).toArray())
            reasons.append(entry.toObject().value(QStringLiteral("reason")).toString());
    }
    const QString message = error.value(QStringLiteral("message")).toString();
    const bool badKey
        = reasons.contains(QStringLiteral("API_KEY_INVALID")) || reasons.contains(QStringLiteral("keyInvalid"));
    if (answer.status == 400 && badKey)
        return keyRefused(answer.status, message);
    if (std::any_of(reasons.begin(), reasons.end(), isRateLimit)
        || (answer.status == 429 && std::none_of(reasons.begin(), reasons.end(), isQuota)))
        return tooManyRequests(answer, message, kPerMinuteRestMs);
    if ((answer.status == 403 || answer.status == 429) && std::any_of(reasons.begin(), reasons.end(), isQuota))
        return quotaExceeded(answer);
    return refusal(answer, message);
}

void GoogleEngine::fetchLanguages(LanguagesHandler done)
{
    get(QStringLiteral("/language/translate/v2/languages"), keyQuery(),
        [this, done = std::move(done)](const Answer& answer) {
            const QJsonArray list = answer.json.toObject()
                                        .value(QStringLiteral("data"))
                                        .toObject()
                                        .value(QStringLiteral("languages"))
                                        .toArray();
            if (answer.status != 200)
                return done(std::nullopt, failure(answer).error);
            Languages languages;
            for (const QJsonValue& entry : list)
                languages.add(entry.toObject().value(QStringLiteral("language")).toString(), true, true);
            done(languages, {});
        });
}

} // namespace service
