#pragma once

#include <QByteArray>
#include <QString>

/// The translation reply as the Verbolt client reads it.
///
/// The client does not parse JSON: it decodes the body (UTF-8), cuts out everything between
/// `"translatedText":"` and the quote before the first "},", turns " &lt;br&gt;" into CR LF, runs DecodeHtml
/// (entity and mojibake repairs, LF -> CR LF, "" -> ") and, for incoming chat, turns "~" into "<< ".
/// The value is therefore written for that chain, not as a JSON string: a backslash or control character goes
/// out raw, and a quote goes out doubled, so a reply holding those is not strict JSON.
///
/// Line breaks: engines speak LF. Every LF (and every CR LF) goes out as a single LF, which DecodeHtml makes
/// CR LF, the pane's line break; a lone CR goes out as it is and stays a lone CR. A lone LF cannot arrive.
///
/// What the client cannot receive intact, and what goes out instead (clientForm() applies exactly this):
///   "},"                    -> "} ,"   (the client would end the value there)
///   "&#8212;"               -> U+2014  (the client turns the reference into "-")
///   "&#347;"                -> U+015B  (the client turns it into U+0153)
///   U+00B6 pilcrow          -> U+2761  (the client turns it into U+0153)
///   U+00B1 plus-minus       -> "+/-"   (the client turns it into U+00B9)
///   "Ã¦" "Ã¸" "Ã¥", the six characters "â†\x90Ã†l", "%C3%A6"
///                           -> the letter they spell (the client repairs them into it anyway)
///   lone LF                 -> CR LF
/// "~" passes unchanged; the client's incoming flow turns it into "<< " by design (it protects "<<" that way).
namespace ReplyEncoding {

/// Longest value sent, in UTF-16 units: clients whose position arithmetic is 16-bit still take it whole, with room
/// for the prefix.
inline constexpr qsizetype kMaxValueLength = 32000;

/// The text the client ends up with for an engine text t (before its incoming "~" step).
QString clientForm(const QString& text);

/// The value written between the quotes of "translatedText" for an engine text.
QString encodeValue(const QString& text);

/// The engine that produced a translation, as the reply names it.
struct EngineTag {
    QString id; ///< "mymemory"
    QString name; ///< "MyMemory"
    QString provider; ///< who the text went to, with the host: "MyMemory (Translated), api.mymemory.translated.net"
    bool online = false;
};

/// The whole 200 reply body for an engine text; with an engine, "engine" follows "responseStatus", so the client's
/// cut of the value is the same.
QByteArray translationReply(const QString& text);
QByteArray translationReply(const QString& text, const EngineTag& engine);

/// A refusal body: no translated text, the reason in responseDetails. Any "translatedText" in the reason is
/// defused, so that the client can never find a value in a refusal.
QByteArray refusalReply(int status, const QString& reason);

/// text as a strict JSON string literal, quotes included.
QString jsonString(const QString& text);

} // namespace ReplyEncoding
