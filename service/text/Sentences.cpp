#include "text/Sentences.h"

#include "text/ProtectedWords.h"

namespace service {

namespace {

bool isTerminal(QChar c)
{
    return c == u'.' || c == u'!' || c == u'?' || c == u'…' || c == u'。' || c == u'！' || c == u'？' || c == u'।';
}

bool isFullWidthTerminal(QChar c)
{
    return c == u'。' || c == u'！' || c == u'？';
}

bool isClosing(QChar c)
{
    return c == u'"' || c == u'\'' || c == u')' || c == u'»' || c == u'”' || c == u'’' || c == u'」';
}

} // namespace

Sentences Sentences::split(const QString& line)
{
    Sentences result;
    const QList<ProtectedSpan> spans = ProtectedWords::find(line);
    // Asked for ever later positions: a cursor over the spans keeps the cut linear.
    qsizetype span = 0;
    const auto inSpan = [&spans, &span](qsizetype i) {
        while (span < spans.size() && spans[span].end() - 1 <= i)
            ++span;
        return span < spans.size() && spans[span].start <= i;
    };
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n && line[i].isSpace())
        ++i;
    result.lead = line.left(i);
    qsizetype start = i;
    while (i < n) {
        const QChar c = line[i];
        qsizetype end = -1;
        if (c == u'\n') {
            end = i;
        } else if (isTerminal(c) && !inSpan(i)) {
            qsizetype k = i + 1;
            while (k < n && (isTerminal(line[k]) || isClosing(line[k])))
                ++k;
            if (k == n || line[k].isSpace() || isFullWidthTerminal(c))
                end = k;
        }
        if (end < 0) {
            ++i;
            continue;
        }
        qsizetype next = end;
        while (next < n && line[next].isSpace())
            ++next;
        qsizetype textEnd = end;
        while (textEnd > start && line[textEnd - 1].isSpace())
            --textEnd;
        if (textEnd > start)
            result.parts.append({line.mid(start, textEnd - start), line.mid(textEnd, next - textEnd)});
        else if (!result.parts.isEmpty())
            result.parts.last().separator += line.mid(start, next - start);
        else
            result.lead += line.mid(start, next - start);
        start = i = next;
    }
    if (start < n) {
        qsizetype textEnd = n;
        while (textEnd > start && line[textEnd - 1].isSpace())
            --textEnd;
        result.parts.append({line.mid(start, textEnd - start), line.mid(textEnd)});
    }
    return result;
}

QStringList Sentences::clauses(const QString& sentence)
{
    QStringList result;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= sentence.size(); ++i) {
        const bool comma = i < sentence.size()
            && (sentence[i] == u'、' || sentence[i] == u'，' || sentence[i] == u'،'
                || (sentence[i] == u',' && (i + 1 == sentence.size() || sentence[i + 1].isSpace())));
        if (i < sentence.size() && !comma)
            continue;
        const QString clause = sentence.mid(start, i - start).trimmed();
        if (!clause.isEmpty())
            result.append(clause);
        start = i + 1;
    }
    return result;
}

QString Sentences::join() const
{
    QString line = lead;
    for (const Part& part : parts)
        line += part.text + part.separator;
    return line;
}

} // namespace service
