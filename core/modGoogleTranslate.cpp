#include "modGoogleTranslate.h"

#include "Codec.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <utility>

namespace modGoogleTranslate {

namespace {

struct CodeEntry {
    QStringView key;
    QStringView code;
};

// Tested in this order. The key for Portuguese was once lower case only, so the name picked from the list found no
// code; both spellings are keys, the one stored settings may hold included.
constexpr CodeEntry kCodes[] = {
    {u"Arabic", u"ar"},
    {u"Bulgarian", u"bg"},
    {u"Czech", u"cs"},
    {u"Danish", u"da"},
    {u"Dutch", u"nl"},
    {u"English", u"en"},
    {u"Finsk", u"fi"},
    {u"French", u"fr"},
    {u"German", u"de"},
    {u"Greek", u"el"},
    {u"Hindi", u"hi"},
    {u"Irish", u"ga"},
    {u"Italian", u"it"},
    {u"Japanese", u"ja"},
    {u"Kinisisk", u"zh-CN"},
    {u"Koreansk", u"ko"},
    {u"Maltese", u"mt"},
    {u"Norwegian", u"no"},
    {u"Polish", u"pl"},
    {u"Portuguese", u"pt"},
    {u"portuguese", u"pt"},
    {u"Romanian", u"ro"},
    {u"Russian", u"ru"},
    {u"Welsh", u"cy"},
    {u"Espa\u00f1ol", u"es"},
    {u"Swedish", u"sv"},
};

const QString kAutoCode = QStringLiteral("auto");
const QString kFailure = QStringLiteral("error");
const QString kValueMarker = QStringLiteral("translatedText");
const QString kValueEnd = QStringLiteral("},");

TranslateOps& installedOps()
{
    static TranslateOps ops;
    return ops;
}

// A name of at most two characters is taken to be a code already.
QString codeOf(const QString& name)
{
    return name.size() <= 2 ? name : LanguageCode(name);
}

} // namespace

void setTranslateOps(TranslateOps ops)
{
    installedOps() = std::move(ops);
}

const TranslateOps& translateOps()
{
    return installedOps();
}

QString LanguageCode(const QString& name)
{
    for (const CodeEntry& entry : kCodes) {
        if (name == entry.key)
            return entry.code.toString();
    }
    return kAutoCode;
}

QString GetBetween(const QString& source, const QString& startMarker, const QString& endMarker)
{
    // Positions count from 1, 0 meaning "not found".
    const qsizetype c = source.indexOf(startMarker, 0, Qt::CaseInsensitive) + 1;
    if (c == 0)
        return {};
    const qsizetype d = source.indexOf(endMarker, c - 1 + startMarker.size(), Qt::CaseInsensitive) + 1;
    if (c > d)
        return {};
    // Skip the closing quote of the name, the colon and the opening quote of the value.
    const qsizetype start = c + startMarker.size() + 3;
    const qsizetype length = d - start - endMarker.size() + 1;
    if (length <= 0)
        return {};
    return source.mid(start - 1, length);
}

QString LocalizeMessage(const QString& message, const QString& language)
{
    Q_UNUSED(language)
    return message;
}

QString BuildRequestUrl(const QString& serviceBase, const QString& text, const QString& fromCode, const QString& toCode)
{
    return serviceBase + QStringLiteral("v=1.0&q=") + Codec::percentEncode(text) + QStringLiteral("&langpair=")
        + Codec::percentEncode(fromCode) + QLatin1Char('|') + Codec::percentEncode(toCode);
}

QString TranslateText(const QString& text, const QString& fromName, const QString& toName)
{
    // A copy: a notice may run the event loop, and a handler there may install other operations.
    const TranslateOps ops = translateOps();
    return TranslateText(text, fromName, toName, ops);
}

PreparedRequest PrepareRequest(
    const QString& text, const QString& fromName, const QString& toName, const TranslateOps& ops)
{
    const QString fromCode = codeOf(fromName);
    const QString toCode = codeOf(toName);
    if (toName.size() > 2 && toCode == kAutoCode) {
        return {{},
            LocalizeMessage(QStringLiteral("Cant use autoDetect to the language you want to translate."), fromName),
            QStringLiteral("\u201c%1\u201d is not a language the translation service knows").arg(toName)};
    }

    // A service on this machine needs no internet connection.
    const bool online = Codec::isLoopbackUrl(ops.serviceBase) || !ops.isOnline || ops.isOnline();
    if (!online) {
        return {{},
            LocalizeMessage(QStringLiteral("You need a internet Connection to be translate your text."), fromName),
            QStringLiteral("this machine has no connection to the internet")};
    }
    return {BuildRequestUrl(ops.serviceBase, text, fromCode, toCode), {}, {}};
}

QString CutTranslation(const QString& reply)
{
    // Unreachable service, empty body or an error page: no answer at all, which is not an empty translation.
    if (!reply.contains(kValueMarker, Qt::CaseInsensitive))
        return kFailure;
    return GetBetween(reply, kValueMarker, kValueEnd);
}

QString ReplyFailureReason(const QString& reply)
{
    // Refusals are plain JSON: {"responseData": null, "responseDetails": "...", "responseStatus": N}.
    const QJsonDocument document = QJsonDocument::fromJson(reply.toUtf8());
    return document.object().value(QStringLiteral("responseDetails")).toString().trimmed();
}

QString TranslateText(const QString& text, const QString& fromName, const QString& toName, const TranslateOps& ops)
{
    const PreparedRequest request = PrepareRequest(text, fromName, toName, ops);
    if (request.url.isEmpty()) {
        if (ops.notice)
            ops.notice(request.notice);
        return kFailure;
    }
    return CutTranslation(ops.getUrl ? ops.getUrl(request.url) : QString());
}

} // namespace modGoogleTranslate
