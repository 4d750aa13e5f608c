#include "PartnerCall.h"

#include <QRegularExpression>

#include <algorithm>

namespace partnercall {

using namespace Qt::StringLiterals;

bool isCallsign(const QString& word)
{
    static const QRegularExpression part(u"^[A-Za-z0-9]{1,10}$"_s);
    bool digit = false;
    bool letter = false;
    qsizetype longest = 0;
    for (const QString& piece : word.split(u'/')) {
        if (!part.match(piece).hasMatch())
            return false;
        longest = std::max(longest, piece.size());
    }
    for (const QChar c : word) {
        digit = digit || c.isDigit();
        letter = letter || c.isLetter();
    }
    return digit && letter && longest >= 3;
}

QString fromText(const QString& text, const QString& ignored)
{
    static const QRegularExpression de(
        u"(?:^|[^A-Za-z0-9])de\\s+([A-Za-z0-9/]+)"_s, QRegularExpression::CaseInsensitiveOption);
    QString found;
    for (auto match = de.globalMatch(text); match.hasNext();) {
        const QString word = match.next().captured(1).toUpper();
        if (isCallsign(word) && word.compare(ignored, Qt::CaseInsensitive) != 0)
            found = word;
    }
    return found;
}

} // namespace partnercall
