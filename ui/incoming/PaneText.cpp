#include "PaneText.h"

namespace {

const QString kOwnMark = QStringLiteral(">!! ");

bool needsEscape(char16_t c, bool lineEnds)
{
    if (c == u'\t')
        return false;
    if (c == u'\r' || c == u'\n')
        return lineEnds;
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069)
        || c == 0x2028 || c == 0x2029;
}

QString escape(const QString& text, bool lineEnds)
{
    qsizetype first = 0;
    while (first < text.size() && !needsEscape(text[first].unicode(), lineEnds))
        ++first;
    if (first == text.size())
        return text;
    QString out = text.left(first);
    out.reserve(text.size() + 8);
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!needsEscape(c, lineEnds))
            out += QChar(c);
        else if (c <= 0xff)
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace

QString PaneText::escaped(const QString& text)
{
    return escape(text, false);
}

QString PaneText::oneLine(const QString& text)
{
    return escape(text, true);
}

QString PaneText::notTranslated(const QString& reason)
{
    return ownLine(QStringLiteral("not translated: ") + reason);
}

QString PaneText::notSent(const QString& reason)
{
    return ownLine(QStringLiteral("not sent: ") + reason);
}

QString PaneText::fromHost(const QString& text)
{
    return ownLine(QStringLiteral("chat host: ") + text);
}

QString PaneText::ownLine(const QString& text)
{
    return kOwnMark + oneLine(text) + QStringLiteral("\r\n");
}
