#include "ReplaceAll.h"

namespace modGoogleTranslate {

QString replaceAll(const QString& text, QStringView find, QStringView replacement)
{
    if (find.isEmpty())
        return text;
    qsizetype at = text.indexOf(find);
    if (at < 0)
        return text;
    QString out;
    out.reserve(text.size() + (replacement.size() > find.size() ? text.size() / 8 : 0));
    qsizetype from = 0;
    while (at >= 0) {
        out.append(QStringView(text).mid(from, at - from));
        out.append(replacement);
        from = at + find.size();
        at = text.indexOf(find, from);
    }
    out.append(QStringView(text).mid(from));
    return out;
}

} // namespace modGoogleTranslate
