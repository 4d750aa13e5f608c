#include "apertium/ApertiumFormat.h"

namespace ApertiumFormat {

namespace {

bool isStreamSpecial(char16_t c)
{
    switch (c) {
    case u'\\':
    case u'^':
    case u'$':
    case u'[':
    case u']':
    case u'{':
    case u'}':
    case u'/':
    case u'@':
    case u'<':
    case u'>': return true;
    default: return false;
    }
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == u'~';
}

// Walks the lexical units "^...$" of an analysis, calling f with the part after the surface form.
template <typename F>
void forEachUnit(const QByteArray& analysis, F f)
{
    qsizetype i = 0;
    const qsizetype n = analysis.size();
    while (i < n) {
        const char c = analysis[i];
        if (c == '\\') {
            i += 2;
        } else if (c == '[') {
            // A superblank: skip to its unescaped end.
            ++i;
            while (i < n && analysis[i] != ']')
                i += analysis[i] == '\\' ? 2 : 1;
            ++i;
        } else if (c == '^') {
            ++i;
            const qsizetype start = i;
            while (i < n && analysis[i] != '$')
                i += analysis[i] == '\\' ? 2 : 1;
            const QByteArray unit = analysis.mid(start, i - start);
            qsizetype slash = 0;
            while (slash < unit.size() && unit[slash] != '/')
                slash += unit[slash] == '\\' ? 2 : 1;
            f(unit.mid(slash + 1));
            ++i;
        } else {
            ++i;
        }
    }
}

} // namespace

QByteArray deformat(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8 + 2);
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const char16_t c = text[i].unicode();
        if (isBlank(c)) {
            qsizetype end = i;
            while (end < n && isBlank(text[end].unicode()))
                ++end;
            if (end - i == 1 && c == u' ') {
                out += u' ';
            } else {
                out += u'[';
                for (qsizetype k = i; k < end; ++k)
                    out += text[k];
                out += u']';
            }
            i = end;
            continue;
        }
        if (c == 0) {
            ++i;
            continue;
        }
        if (c == 0xE000) {
            const qsizetype close = text.indexOf(QChar(0xE001), i);
            if (close > i) {
                out += u'[';
                for (qsizetype k = i; k <= close; ++k) {
                    if (isStreamSpecial(text[k].unicode()))
                        out += u'\\';
                    if (text[k].unicode() != 0)
                        out += text[k];
                }
                out += u']';
                i = close + 1;
                continue;
            }
        }
        if (isStreamSpecial(c))
            out += u'\\';
        out += text[i];
        ++i;
    }
    // Closing blanks: apertium-destxt writes one, because the bilingual lt-proc stage reads one character past the
    // last lexical unit and would wait at the NUL for it. An analyser still inside a possible multiword when it meets
    // that blank and then the NUL drops the unit it holds (isl-eng: "Minn Vinur.[]" loses "Vinur."); a second blank
    // settles it first.
    out += u"[][]";
    return out.toUtf8();
}

QString reformat(const QByteArray& stream)
{
    QByteArray out;
    out.reserve(stream.size());
    for (qsizetype i = 0; i < stream.size(); ++i) {
        const char c = stream[i];
        if (c == '\\') {
            if (i + 1 < stream.size())
                out += stream[++i];
        } else if (c == '[' || c == ']' || c == '\0') {
            // Superblank brackets go; their content stays.
        } else {
            out += c;
        }
    }
    return QString::fromUtf8(out);
}

int countUnknownWords(const QByteArray& analysis)
{
    int unknown = 0;
    forEachUnit(analysis, [&](const QByteArray& readings) {
        if (readings.startsWith('*'))
            ++unknown;
    });
    return unknown;
}

int countWords(const QByteArray& analysis)
{
    int words = 0;
    forEachUnit(analysis, [&](const QByteArray&) { ++words; });
    return words;
}

} // namespace ApertiumFormat
