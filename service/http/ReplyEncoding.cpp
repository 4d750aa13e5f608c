#include "http/ReplyEncoding.h"

#include <QStringView>

namespace ReplyEncoding {

namespace {

struct Substitute {
    QStringView find;
    QStringView sent;
};

// Sequences the client's repairs would change or cut; replaced before escaping. No replacement can form a new
// find text together with its neighbours: none writes "&", ";", "}", ",", "¦", "¸", "¥", "¶", "±" or "%".
constexpr Substitute kSubstitutes[] = {
    {u"\u00c3\u00a6", u"\u00e6"},
    {u"\u00c3\u00b8", u"\u00f8"},
    {u"\u00c3\u00a5", u"\u00e5"},
    {u"\u00e2\u2020\u0090\u00c3\u2020l", u"\u00e6"},
    {u"%C3%A6", u"\u00e6"},
    {u"&#8212;", u"\u2014"},
    {u"&#347;", u"\u015b"},
    {u"\u00b6", u"\u2761"},
    {u"\u00b1", u"+/-"},
    {u"},", u"} ,"},
};

QString substituted(const QString& text)
{
    QString out = text;
    for (const Substitute& s : kSubstitutes)
        out.replace(s.find.toString(), s.sent.toString(), Qt::CaseSensitive);
    return out;
}

} // namespace

QString clientForm(const QString& text)
{
    const QString sub = substituted(text);
    QString out;
    out.reserve(sub.size() + 16);
    for (qsizetype i = 0; i < sub.size(); ++i) {
        if (sub[i] == u'\n' && (i == 0 || sub[i - 1] != u'\r'))
            out += u'\r';
        out += sub[i];
    }
    return out;
}

QString encodeValue(const QString& text)
{
    const QString sub = substituted(text);
    QString out;
    out.reserve(sub.size() + sub.size() / 4);
    for (qsizetype i = 0; i < sub.size(); ++i) {
        const QChar c = sub[i];
        if (c == u'&') {
            // The client's two "&amp;" passes each take one level; rows that look for "&lt;", "&gt;" and
            // " &lt;br&gt;" never see an "&" that is not followed by "amp;".
            out += u"&amp;amp;";
        } else if (c == u'"') {
            // The client halves runs of quotes: 2n quotes become n.
            out += u"\"\"";
        } else if (c == u'\r' && i + 1 < sub.size() && sub[i + 1] == u'\n') {
            // CR LF goes as LF, which the client widens back to CR LF.
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray translationReply(const QString& text)
{
    const QString body = QStringLiteral(R"({"responseData": {"translatedText":")") + encodeValue(text)
        + QStringLiteral(R"("}, "responseDetails": null, "responseStatus": 200})");
    return body.toUtf8();
}

QByteArray translationReply(const QString& text, const EngineTag& engine)
{
    if (engine.id.isEmpty())
        return translationReply(text);
    const QString body = QStringLiteral(R"({"responseData": {"translatedText":")") + encodeValue(text)
        + QStringLiteral(R"("}, "responseDetails": null, "responseStatus": 200, "engine": {"id": )")
        + jsonString(engine.id) + QStringLiteral(R"(, "name": )") + jsonString(engine.name)
        + QStringLiteral(R"(, "online": )") + (engine.online ? QStringLiteral("true") : QStringLiteral("false"))
        + QStringLiteral(R"(, "provider": )") + jsonString(engine.provider) + QStringLiteral("}}");
    return body.toUtf8();
}

QByteArray refusalReply(int status, const QString& reason)
{
    QString safe = reason;
    safe.replace(QStringLiteral("translatedtext"), QStringLiteral("translated text"), Qt::CaseInsensitive);
    return (QStringLiteral(R"({"responseData": null, "responseDetails": )") + jsonString(safe)
        + QStringLiteral(R"(, "responseStatus": )") + QString::number(status) + u'}')
        .toUtf8();
}

QString jsonString(const QString& text)
{
    static const char hex[] = "0123456789abcdef";
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += u"\\\""; break;
        case u'\\': out += u"\\\\"; break;
        case u'\n': out += u"\\n"; break;
        case u'\r': out += u"\\r"; break;
        case u'\t': out += u"\\t"; break;
        default:
            if (c.unicode() < 0x20) {
                out += u"\\u00";
                out += QLatin1Char(hex[c.unicode() >> 4]);
                out += QLatin1Char(hex[c.unicode() & 0xf]);
            } else {
                out += c;
            }
        }
    }
    out += u'"';
    return out;
}

} // namespace ReplyEncoding
