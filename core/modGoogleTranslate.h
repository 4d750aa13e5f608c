#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <functional>

namespace modGoogleTranslate {

/// The language display names, in the order FillLanguages adds them to a list.
inline constexpr std::array<QStringView, 23> LanguageNames{u"Arabic", u"Bulgarian", u"Czech", u"Danish", u"Dutch",
    u"English", u"Finsk", u"French", u"German", u"Greek", u"Hindi", u"Irish", u"Italian", u"Japanese", u"Kinisisk",
    u"Maltese", u"Norwegian", u"Polish", u"Portuguese", u"Romanian", u"Russian", u"Espa\u00f1ol", u"Welsh"};

/// What a translation needs from the world outside the core.
struct TranslateOps {
    /// Fetches a page by URL; the body as text, "" when nothing could be fetched.
    std::function<QString(const QString& url)> getUrl;
    /// True when the machine has a connection to the internet.
    std::function<bool()> isOnline;
    /// Shows a modal notice and returns once the operator has closed it.
    std::function<void(const QString& text)> notice;
    /// Plain HTTP URL of the service up to and including the "?" of its query.
    QString serviceBase;
};

/// Installs the operations used by the three-argument TranslateText.
void setTranslateOps(TranslateOps ops);
/// The operations installed by setTranslateOps.
const TranslateOps& translateOps();

/// The service's code for a display name; "auto" when the name is not known.
QString LanguageCode(const QString& name);

/// The value that follows startMarker (searched without regard to case) up to the quote before endMarker.
QString GetBetween(const QString& source, const QString& startMarker, const QString& endMarker);

/// The text a notice shows for message; the language does not change it.
QString LocalizeMessage(const QString& message, const QString& language);

/// The request URL for text from one language code to another, with the query value percent-encoded.
QString BuildRequestUrl(
    const QString& serviceBase, const QString& text, const QString& fromCode, const QString& toCode);

/// A translation request as far as it goes before anything is fetched.
struct PreparedRequest {
    /// The URL to fetch; empty when the request stops here.
    QString url;
    /// When it stops: the notice the operator is shown, and why in a few words.
    QString notice;
    QString reason;
};

/// Resolves both names to codes, checks the connection and builds the URL; the first steps of TranslateText.
PreparedRequest PrepareRequest(
    const QString& text, const QString& fromName, const QString& toName, const TranslateOps& ops);

/// The translated text in a service reply, which may be empty; "error" when the reply holds no translation.
QString CutTranslation(const QString& reply);

/// Why a service reply holds no translation, in the service's own words (its "responseDetails"); "" when it
/// does not say.
QString ReplyFailureReason(const QString& reply);

/// Translates text between two display names (or codes of at most two characters) with the installed operations.
/// Returns the translated text, which may be empty, or "error" when nothing usable came back.
QString TranslateText(const QString& text, const QString& fromName, const QString& toName);
/// As above, with the given operations.
QString TranslateText(const QString& text, const QString& fromName, const QString& toName, const TranslateOps& ops);

} // namespace modGoogleTranslate
