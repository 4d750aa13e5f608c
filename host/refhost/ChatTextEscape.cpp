#include "ChatTextEscape.h"

QString escapeChatText(const QString& text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': line += QLatin1String("\\\\"); break;
        case '\r': line += QLatin1String("\\r"); break;
        case '\n': line += QLatin1String("\\n"); break;
        default: line += c;
        }
    }
    return line;
}

QString unescapeChatText(const QString& line)
{
    QString text;
    text.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        const QChar next = i + 1 < line.size() ? line.at(i + 1) : QChar();
        if (c == u'\\' && (next == u'\\' || next == u'r' || next == u'n')) {
            text += next == u'r' ? QChar(u'\r') : next == u'n' ? QChar(u'\n') : QChar(u'\\');
            ++i;
        } else {
            text += c;
        }
    }
    return text;
}
