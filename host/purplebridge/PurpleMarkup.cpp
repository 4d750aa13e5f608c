#include "PurpleMarkup.h"

#include <QStringView>

#include <optional>

namespace {

// Longest entity looked at, "&#x10FFFF;" included; a longer run after '&' is text.
constexpr qsizetype kMaxEntityLength = 10;

struct NamedEntity {
    QStringView name;
    char16_t character;
};

// What libpurple and its protocols write; other names stay as they are.
constexpr NamedEntity kNamedEntities[] = {
    {u"amp", u'&'},
    {u"lt", u'<'},
    {u"gt", u'>'},
    {u"quot", u'"'},
    {u"apos", u'\''},
    {u"nbsp", u' '},
    {u"copy", u'\u00a9'},
    {u"reg", u'\u00ae'},
};

bool isDroppedControl(char32_t c)
{
    return (c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || c == 0x7f;
}

// The text an entity body (between '&' and ';') stands for: one character, nothing for a control character, or
// nullopt when it is no entity and stays as written.
std::optional<QString> entityText(QStringView body)
{
    if (body.startsWith(u'#')) {
        const bool hex = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
        const QStringView digits = body.mid(hex ? 2 : 1);
        if (digits.isEmpty())
            return std::nullopt;
        bool ok = false;
        const uint value = digits.toUInt(&ok, hex ? 16 : 10);
        const bool surrogate = value >= 0xd800 && value <= 0xdfff;
        if (!ok || value == 0 || value > 0x10ffff || surrogate)
            return std::nullopt;
        if (value == u'\r' || value == u'\n')
            return QStringLiteral("\r");
        const char32_t character = value;
        return isDroppedControl(character) ? QString() : QString::fromUcs4(&character, 1);
    }
    for (const NamedEntity& entity : kNamedEntities) {
        if (body == entity.name)
            return QString(QChar(entity.character));
    }
    return std::nullopt;
}

// "br" for <br>, <BR/>, <br class=x>; "/p" for </p>.
QString tagName(QStringView tag)
{
    qsizetype end = 0;
    if (end < tag.size() && tag[end] == u'/')
        ++end;
    while (end < tag.size() && tag[end].isLetterOrNumber())
        ++end;
    return tag.left(end).toString().toLower();
}

} // namespace

QString markupToPlain(const QString& markup)
{
    QString plain;
    plain.reserve(markup.size());
    // Where the next '>' is, looked up once per tag rather than once per '<': a run of lone '<' stays linear.
    qsizetype close = -1;
    bool noMoreClose = false;
    for (qsizetype i = 0; i < markup.size(); ++i) {
        const QChar c = markup[i];
        if (c == u'<') {
            if (!noMoreClose && close <= i) {
                close = markup.indexOf(u'>', i + 1);
                noMoreClose = close < 0;
            }
            // A lone '<' is text; libpurple itself never writes one.
            if (noMoreClose) {
                plain += c;
                continue;
            }
            if (tagName(QStringView(markup).mid(i + 1, close - i - 1)) == QLatin1String("br"))
                plain += u'\r';
            i = close;
        } else if (c == u'&') {
            // Only as far as the longest entity: a run of bare '&' stays linear.
            const qsizetype semicolon = QStringView(markup).mid(i + 1, kMaxEntityLength).indexOf(u';');
            const std::optional<QString> decoded
                = semicolon >= 0 ? entityText(QStringView(markup).mid(i + 1, semicolon)) : std::nullopt;
            if (!decoded) {
                plain += c;
                continue;
            }
            plain += *decoded;
            i += semicolon + 1;
        } else if (c == u'\r' || c == u'\n') {
            plain += u'\r';
            if (c == u'\r' && i + 1 < markup.size() && markup[i + 1] == u'\n')
                ++i;
        } else if (!isDroppedControl(c.unicode())) {
            plain += c;
        }
    }
    return plain;
}

QString plainToMarkup(const QString& text)
{
    QString markup;
    markup.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case u'&': markup += QLatin1String("&amp;"); break;
        case u'<': markup += QLatin1String("&lt;"); break;
        case u'>': markup += QLatin1String("&gt;"); break;
        case u'"': markup += QLatin1String("&quot;"); break;
        case u'\r':
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            markup += QLatin1String("<br>");
            break;
        case u'\n': markup += QLatin1String("<br>"); break;
        default:
            if (!isDroppedControl(c.unicode()))
                markup += c;
        }
    }
    return markup;
}
