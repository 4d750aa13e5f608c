#include "text/ProtectedWords.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace service {

namespace {

// Word edges: no letter, digit or underscore on either side.
// Kana, Han and Hangul do count as edges: Japanese and Chinese write "QSOありがとう" with no space.
#define NOT_CJK "(?![\\p{Han}\\p{Hiragana}\\p{Katakana}\\p{Hangul}])"
#define L_EDGE "(?<!" NOT_CJK "[\\p{L}\\p{N}_])"
#define R_EDGE "(?!" NOT_CJK "[\\p{L}\\p{N}_])"

struct Pattern {
    WordKind kind;
    QRegularExpression regex;
};

const QStringList& abbreviations()
{
    // Ham abbreviations written in capitals; "de" between callsigns is found apart.
    static const QStringList list = {QStringLiteral("CQ"), QStringLiteral("DX"), QStringLiteral("DE"),
        QStringLiteral("XYL"), QStringLiteral("YL"), QStringLiteral("OM"), QStringLiteral("RST"), QStringLiteral("TNX"),
        QStringLiteral("TKS"), QStringLiteral("TU"), QStringLiteral("FB"), QStringLiteral("GM"), QStringLiteral("GA"),
        QStringLiteral("GE"), QStringLiteral("GN"), QStringLiteral("CUL"), QStringLiteral("CUAGN"),
        QStringLiteral("WX"), QStringLiteral("PSE"), QStringLiteral("AGN"), QStringLiteral("SRI"), QStringLiteral("HR"),
        QStringLiteral("UR"), QStringLiteral("HW"), QStringLiteral("VY"), QStringLiteral("ABT"), QStringLiteral("BK"),
        QStringLiteral("KN"), QStringLiteral("SK"), QStringLiteral("HI"), QStringLiteral("ES"), QStringLiteral("OP"),
        QStringLiteral("ANT"), QStringLiteral("PWR"), QStringLiteral("RIG"), QStringLiteral("QRPP"),
        QStringLiteral("SWL"), QStringLiteral("OT"), QStringLiteral("LoTW"), QStringLiteral("eQSL"),
        QStringLiteral("73"), QStringLiteral("88"), QStringLiteral("55"), QStringLiteral("72")};
    return list;
}

// Abbreviations that are also plain words in capitals ("HI", "ES", "OP", "ANT", "RIG"): in an all-capitals line
// they are the text's own words.
const QSet<QString>& wordLike()
{
    static const QSet<QString> set = {QStringLiteral("HI"), QStringLiteral("ES"), QStringLiteral("OP"),
        QStringLiteral("ANT"), QStringLiteral("RIG"), QStringLiteral("HR"), QStringLiteral("UR"), QStringLiteral("GA"),
        QStringLiteral("GE"), QStringLiteral("TU"), QStringLiteral("OT"), QStringLiteral("AM"), QStringLiteral("FM"),
        QStringLiteral("DE"), QStringLiteral("OM")};
    return set;
}

QString alternation(const QStringList& words)
{
    QStringList escaped;
    for (const QString& w : words)
        escaped.append(QRegularExpression::escape(w));
    // Longest first, so that "CUAGN" is not cut to "CUL"-like prefixes.
    std::sort(escaped.begin(), escaped.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return escaped.join(u'|');
}

const QList<Pattern>& patterns()
{
    static const QList<Pattern> list = [] {
        const auto rx = [](const QString& pattern) {
            QRegularExpression regex(pattern, QRegularExpression::UseUnicodePropertiesOption);
            Q_ASSERT(regex.isValid());
            return regex;
        };
        const QString call = QStringLiteral("(?:[A-Z]{1,2}|[0-9][A-Z]|[A-Z][0-9])[0-9]{1,2}[A-Z]{1,4}");
        const QString callLower = QStringLiteral("(?:[a-z]{1,2}|[0-9][a-z]|[a-z][0-9])[0-9]{1,2}[a-z]{2,4}");
        const QString units = QStringLiteral("kW|mW|W|dBm|dBi|dBd|dB|V|Ah|A|°C|°F|ºC|%|km|mi|ft|wpm|WPM|kHz|MHz|GHz|Hz|"
                                             "baud|Bd|years|yrs|yr|ans|años|Jahre");
        const QStringList modes = {QStringLiteral("FT8"), QStringLiteral("FT4"), QStringLiteral("SSB"),
            QStringLiteral("CW"), QStringLiteral("RTTY"), QStringLiteral("PSK31"), QStringLiteral("PSK63"),
            QStringLiteral("PSK125"), QStringLiteral("BPSK31"), QStringLiteral("JS8"), QStringLiteral("AM"),
            QStringLiteral("FM"), QStringLiteral("USB"), QStringLiteral("LSB"), QStringLiteral("SSTV"),
            QStringLiteral("WSPR"), QStringLiteral("JT65"), QStringLiteral("JT9"), QStringLiteral("MFSK"),
            QStringLiteral("OLIVIA"), QStringLiteral("Olivia"), QStringLiteral("Q65"), QStringLiteral("MSK144"),
            QStringLiteral("FST4"), QStringLiteral("DMR"), QStringLiteral("C4FM"), QStringLiteral("D-STAR"),
            QStringLiteral("VARA"), QStringLiteral("PACTOR"), QStringLiteral("Hellschreiber"),
            QStringLiteral("Contestia"), QStringLiteral("THOR"), QStringLiteral("DominoEX"), QStringLiteral("APRS"),
            QStringLiteral("EchoLink"), QStringLiteral("SOTA"), QStringLiteral("POTA"), QStringLiteral("IOTA")};
        const QStringList qLower
            = {QStringLiteral("qth"), QStringLiteral("qsl"), QStringLiteral("qso"), QStringLiteral("qrz"),
                QStringLiteral("qrm"), QStringLiteral("qrn"), QStringLiteral("qsb"), QStringLiteral("qrt"),
                QStringLiteral("qsy"), QStringLiteral("qrp"), QStringLiteral("qro"), QStringLiteral("qrx"),
                QStringLiteral("qrv"), QStringLiteral("qrl"), QStringLiteral("qrg"), QStringLiteral("qrs"),
                QStringLiteral("qrq"), QStringLiteral("qsk"), QStringLiteral("qsls"), QStringLiteral("qsos")};
        return QList<Pattern>{
            {WordKind::Url, rx(QStringLiteral(L_EDGE "(?:(?:https?|ftp)://|www\\.)[^\\s<>\"]+"))},
            // Only from the start of a run of address characters, which it takes whole: linear in the text.
            {WordKind::Email,
                rx(QStringLiteral(L_EDGE "(?<![\\p{L}\\p{N}._%+-])[\\p{L}\\p{N}._%+-]++@[\\p{L}\\p{N}-]+"
                                         "(?:\\.[\\p{L}\\p{N}-]+)+"))},
            {WordKind::Time,
                rx(QStringLiteral(L_EDGE "(?:[0-2]?[0-9]:[0-5][0-9](?::[0-5][0-9])?(?:\\s?(?:UTC|GMT|UT|Z|z|h))?"
                                         "|[0-2][0-9][0-5][0-9]\\s?(?:UTC|GMT|UT|Z|z))" R_EDGE))},
            {WordKind::Frequency,
                rx(QStringLiteral(L_EDGE "(?:[0-9]{1,5}(?:[.,][0-9]{1,4})?\\s?(?:kHz|MHz|GHz)|[0-9]{1,3}\\.[0-9]{3}"
                                         "(?:\\.[0-9]{1,3})?)" R_EDGE))},
            {WordKind::Band, rx(QStringLiteral(L_EDGE "[0-9]{1,4}(?:[.,][0-9])?\\s?(?:m|cm|mm)" R_EDGE))},
            {WordKind::Report,
                rx(QStringLiteral(L_EDGE "(?:[1-5][1-9][1-9]?(?:\\s?\\+\\s?[0-9]{1,2}\\s?dB)?|[1-5]/[1-9](?:/[1-9])?"
                                         "|[+-][0-9]{1,2}\\s?dB)" R_EDGE))},
            {WordKind::Report, rx(QStringLiteral("(?<![\\p{L}\\p{N}_.,+-])[+-][0-9]{1,2}" R_EDGE))},
            {WordKind::Locator,
                rx(QStringLiteral(
                    L_EDGE "(?:[A-R]{2}[0-9]{2}(?:[a-xA-X]{2}(?:[0-9]{2})?)?|[a-r]{2}[0-9]{2}[a-x]{2})" R_EDGE))},
            {WordKind::Callsign,
                rx(QStringLiteral("(?<![\\p{L}\\p{N}_/])(?:[A-Z0-9]{1,4}/)?%1(?:/[A-Z0-9]{1,4})*" R_EDGE).arg(call))},
            {WordKind::Callsign,
                rx(QStringLiteral("(?<![\\p{L}\\p{N}_/])(?:[a-z0-9]{1,4}/)?%1(?:/[a-z0-9]{1,4})*" R_EDGE)
                        .arg(callLower))},
            {WordKind::QCode, rx(QStringLiteral(L_EDGE "Q[A-Z]{2}[?]?" R_EDGE))},
            {WordKind::QCode, rx(QStringLiteral(L_EDGE "(?:%1)[?]?" R_EDGE).arg(alternation(qLower)))},
            {WordKind::Mode, rx(QStringLiteral(L_EDGE "(?:%1)" R_EDGE).arg(alternation(modes)))},
            {WordKind::Abbreviation, rx(QStringLiteral(L_EDGE "(?:%1)" R_EDGE).arg(alternation(abbreviations())))},
            // Ham laughter, doubled: kept as written even in a line of capitals, where a single "HI" is a word.
            {WordKind::Abbreviation, rx(QStringLiteral(L_EDGE "(?:HI(?: ?HI)+|hi(?: hi)+)" R_EDGE))},
            // Models and other words of capitals with digits: IC-7300, FT-991A, G5RV, KX3. Only from the start of a
            // run of such parts, taken whole (find() checks for a capital and a digit): linear in the text.
            {WordKind::Model,
                rx(QStringLiteral(L_EDGE "(?<![A-Z0-9][-/])(?>([A-Z0-9]+(?:[-/][A-Z0-9]+)*))"
                                         "(?:mk[0-9IV]+|MK[0-9IV]+)?" R_EDGE))},
            {WordKind::Number,
                rx(QStringLiteral("(?<![\\p{L}\\p{N}_.,])[0-9]+(?:[.,][0-9]+)*(?:\\s?(?:%1))?"
                                  "(?![\\p{L}\\p{N}_]|-\\p{L})")
                        .arg(units))},
            {WordKind::Emoticon,
                rx(QStringLiteral("(?<![\\p{L}\\p{N}:;=])(?:[:;=]'?-?[)(DPpOo|/\\\\\\]\\[*3]|<3|\\^_?\\^|xD|XD)"
                                  "(?![\\p{L}\\p{N}])"))},
        };
    }();
    return list;
}

// Trailing characters an address does not end with in running text.
qsizetype trimAddress(const QString& text, qsizetype start, qsizetype length)
{
    static const QString closing = QStringLiteral(".,;:!?)]}'\"»”’");
    const QStringView address = QStringView(text).mid(start, length);
    qsizetype open = address.count(u'(');
    qsizetype shut = address.count(u')');
    while (length > 0 && closing.contains(text[start + length - 1])) {
        // A closing bracket the address opened stays.
        if (text[start + length - 1] == u')') {
            if (open >= shut)
                break;
            --shut;
        }
        --length;
    }
    return length;
}

bool hasCapitalAndDigit(QStringView word)
{
    bool capital = false;
    bool digit = false;
    for (const QChar c : word) {
        capital = capital || (c >= u'A' && c <= u'Z');
        digit = digit || (c >= u'0' && c <= u'9');
    }
    return capital && digit;
}

bool isNumeric(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

} // namespace

QList<ProtectedSpan> ProtectedWords::find(const QString& text, bool allCapitals)
{
    struct Candidate {
        ProtectedSpan span;
        int priority;
    };
    QList<Candidate> candidates;
    const QList<Pattern>& list = patterns();
    for (qsizetype p = 0; p < list.size(); ++p) {
        for (auto it = list[p].regex.globalMatch(text); it.hasNext();) {
            const auto match = it.next();
            qsizetype length = match.capturedLength();
            const WordKind kind = list[p].kind;
            if (kind == WordKind::Url || kind == WordKind::Email)
                length = trimAddress(text, match.capturedStart(), length);
            if (length <= 0)
                continue;
            if (kind == WordKind::Model && !hasCapitalAndDigit(match.capturedView(1)))
                continue;
            const QString word = text.mid(match.capturedStart(), length);
            if (allCapitals && (kind == WordKind::Abbreviation || kind == WordKind::Mode) && wordLike().contains(word))
                continue;
            candidates.append({{match.capturedStart(), length, kind, word}, int(p)});
        }
    }
    // "de" between two callsigns ("EA4ABC de DL1XYZ") is the ham's "from".
    static const QRegularExpression de(QStringLiteral("(?<=\\s)de(?=\\s)"));
    for (auto it = de.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        candidates.append({{match.capturedStart(), 2, WordKind::Abbreviation, QStringLiteral("de")}, -1});
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.span.start != b.span.start)
            return a.span.start < b.span.start;
        if (a.span.length != b.span.length)
            return a.span.length > b.span.length;
        return a.priority < b.priority;
    });
    QSet<qsizetype> callsignStarts;
    for (const Candidate& c : std::as_const(candidates)) {
        if (c.span.kind == WordKind::Callsign)
            callsignStarts.insert(c.span.start);
    }
    QList<ProtectedSpan> spans;
    qsizetype reached = 0;
    for (const Candidate& c : std::as_const(candidates)) {
        if (c.span.start < reached)
            continue;
        if (c.priority == -1) {
            // Only with a callsign on both sides.
            const bool before
                = !spans.isEmpty() && spans.last().kind == WordKind::Callsign && spans.last().end() + 1 == c.span.start;
            const bool after = callsignStarts.contains(c.span.end() + 1);
            if (!before || !after)
                continue;
        }
        spans.append(c.span);
        reached = c.span.end();
    }
    return spans;
}

bool ProtectedWords::isWhole(const QString& text, const QString& placeholderKind)
{
    const QList<ProtectedSpan> spans = find(text);
    if (spans.size() != 1 || spans.first().start != 0 || spans.first().length != text.size())
        return false;
    const WordKind kind = spans.first().kind;
    if (placeholderKind == u"call")
        return kind == WordKind::Callsign;
    if (placeholderKind == u"report")
        return kind == WordKind::Report;
    if (placeholderKind == u"band")
        return kind == WordKind::Band;
    if (placeholderKind == u"freq")
        return kind == WordKind::Frequency;
    if (placeholderKind == u"mode")
        return kind == WordKind::Mode;
    if (placeholderKind == u"locator")
        return kind == WordKind::Locator;
    if (placeholderKind == u"time")
        return kind == WordKind::Time;
    if (placeholderKind == u"number")
        return kind == WordKind::Number || kind == WordKind::Report
            || (kind == WordKind::Abbreviation && isNumeric(text));
    return false;
}

bool ProtectedWords::isAllCapitals(const QString& text, const QList<ProtectedSpan>& spans)
{
    int upper = 0;
    qsizetype s = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        while (s < spans.size() && spans[s].end() <= i)
            ++s;
        if (s < spans.size() && spans[s].start <= i)
            continue;
        const QChar c = text[i];
        if (c.isLower())
            return false;
        if (c.isUpper())
            ++upper;
    }
    return upper >= 4;
}

QString ProtectedWords::toSentenceCase(const QString& text, const QList<ProtectedSpan>& spans, const QString& language)
{
    QString out = text;
    bool sentenceStart = true;
    qsizetype s = 0;
    for (qsizetype i = 0; i < out.size(); ++i) {
        while (s < spans.size() && spans[s].end() <= i)
            ++s;
        if (s < spans.size() && spans[s].start <= i) {
            sentenceStart = false;
            i = spans[s].end() - 1;
            continue;
        }
        const QChar c = out[i];
        if (c.isLetter()) {
            if (!sentenceStart)
                out[i] = c.toLower();
            sentenceStart = false;
        } else if (c == u'.' || c == u'!' || c == u'?') {
            sentenceStart = true;
        }
    }
    if (language != u"en" && language != u"auto")
        return out;
    // English "I", alone or in a contraction ("I'm", "I'll").
    static const QRegularExpression pronoun(QStringLiteral("(?<![\\p{L}\\p{N}'])i(?=$|[\\s,.!?;:]|'[a-z])"));
    s = 0;
    for (auto it = pronoun.globalMatch(out); it.hasNext();) {
        const qsizetype at = it.next().capturedStart();
        while (s < spans.size() && spans[s].end() <= at)
            ++s;
        if (s == spans.size() || at < spans[s].start)
            out[at] = u'I';
    }
    return out;
}

} // namespace service
