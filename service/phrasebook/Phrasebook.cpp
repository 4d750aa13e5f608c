#include "phrasebook/Phrasebook.h"

#include "LanguageNames.h"
#include "phrasebook/SlotValues.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace service {

namespace {

constexpr char16_t kSlot = 0xE200;
constexpr qsizetype kMaxUnspacedValue = 40; ///< characters of a value in a language without spaces

bool isSlot(QChar c)
{
    return c.unicode() >= kSlot && c.unicode() < kSlot + 0x100;
}

bool withoutSpaces(const QString& language)
{
    return language == u"ja" || language == u"zh-CN";
}

bool isOneOf(QChar c, QStringView set)
{
    return set.contains(c);
}

// The text as phrases are compared: apostrophes and spaces unified, punctuation at the ends and before spaces
// dropped. Letter case stays (the comparison ignores it) so that copied words keep theirs. By hand, not by
// regular expressions: every cell of the phrasebook goes through it at start.
QString normalise(const QString& input)
{
    static constexpr QStringView beforeSpace = u",;:!?¡¿、，。！？«»\"“”،؛؟";
    static constexpr QStringView afterSpace = u"¡¿«\"“";
    static constexpr QStringView cjk = u"、，。！？";
    static constexpr QStringView ending = u".…।";
    QString text;
    text.reserve(input.size());
    const qsizetype n = input.size();
    const auto at = [&](qsizetype i) {
        const QChar c = input[i];
        return c == u'’' ? QChar(u'\'') : c == u'\u00A0' ? QChar(u' ') : c;
    };
    bool space = false;
    for (qsizetype i = 0; i < n;) {
        const QChar c = at(i);
        if (isOneOf(c, beforeSpace)) {
            qsizetype j = i;
            while (j < n && isOneOf(at(j), beforeSpace))
                ++j;
            if (j == n || at(j).isSpace()) {
                i = j;
                continue;
            }
        }
        if (isOneOf(c, afterSpace) && (i == 0 || at(i - 1).isSpace())) {
            while (i < n && isOneOf(at(i), afterSpace))
                ++i;
            continue;
        }
        ++i;
        if (isOneOf(c, cjk))
            continue;
        if (c.isSpace()) {
            space = true;
            continue;
        }
        if (space && !text.isEmpty())
            text += u' ';
        space = false;
        text += c;
    }
    while (!text.isEmpty() && (isOneOf(text.back(), ending) || text.back() == u' '))
        text.chop(1);
    return text;
}

QString key(const QString& text)
{
    return text.toCaseFolded();
}

// Whether a sentence of language asks: its last mark, closing quotes aside, is a question mark (the Greek one is
// the semicolon).
bool isQuestion(const QString& text, const QString& language)
{
    static constexpr QStringView closing = u"\"')»”’」』";
    qsizetype end = text.size();
    while (end > 0 && (text[end - 1].isSpace() || isOneOf(text[end - 1], closing)))
        --end;
    if (end == 0)
        return false;
    const QChar last = text[end - 1];
    return last == u'?' || last == u'？' || last == u'؟' || last == u'⸮'
        || (language == u"el" && (last == u';' || last == u'\u037E'));
}

// A word without the punctuation around it.
QString bareWord(const QString& word)
{
    qsizetype from = 0;
    qsizetype to = word.size();
    while (from < to && !word[from].isLetterOrNumber())
        ++from;
    while (to > from && !word[to - 1].isLetterOrNumber())
        --to;
    return word.mid(from, to - from);
}

QString firstWord(const QString& text)
{
    qsizetype end = 0;
    while (end < text.size()
        && (text[end].isLetter() || text[end].isMark() || text[end] == u'\'' || text[end] == u'’' || text[end] == u'-'))
        ++end;
    return text.left(end);
}

} // namespace

struct Phrasebook::Sentence {
    QString text; ///< as written
    QString normal; ///< normalised
    QString folded; ///< normalised and case-folded: the same length as normal, or nothing is filled from it
};

bool Phrasebook::addFile(const QString& path, QString* error)
{
    const auto units = TmxReader::read(path, error);
    if (!units)
        return false;
    addUnits(*units);
    return true;
}

void Phrasebook::addUnits(const QList<PhraseUnit>& units)
{
    for (const PhraseUnit& unit : units) {
        const auto known = m_byId.constFind(unit.id);
        if (known == m_byId.constEnd()) {
            m_byId.insert(unit.id, m_units.size());
            m_units.append(unit);
            continue;
        }
        PhraseUnit& old = m_units[*known];
        for (auto it = unit.segments.begin(); it != unit.segments.end(); ++it)
            old.segments.insert(it.key(), it.value());
    }
    build();
}

void Phrasebook::build()
{
    m_index.clear();
    m_counts.clear();
    for (qsizetype u = 0; u < m_units.size(); ++u) {
        for (auto it = m_units[u].segments.cbegin(); it != m_units[u].segments.cend(); ++it) {
            if (it.value().isEmpty())
                continue;
            ++m_counts[it.key()];
            for (const PhraseSegment& segment : it.value())
                indexSegment(u, it.key(), segment);
        }
    }
    for (Index& index : m_index) {
        for (qsizetype p = 0; p < index.patterns.size(); ++p) {
            const QString& opening = index.patterns[p].literals.first();
            if (opening.isEmpty())
                index.openingHole.append(p);
            else
                index.byFirst[opening.front()].append(p);
        }
    }
}

void Phrasebook::indexSegment(qsizetype unit, const QString& language, const PhraseSegment& segment)
{
    Index& index = m_index[language];
    index.spaced = !withoutSpaces(language);
    // The phrase with each placeholder as one private character, normalised as sentences are.
    QString flat;
    QList<Hole> holes;
    for (const PhraseSegment::Part& part : segment.parts) {
        if (part.x == 0) {
            flat += part.text;
        } else if (holes.size() < 0x100) {
            flat += QChar(char16_t(kSlot + holes.size()));
            holes.append({part.x, part.kind});
        }
    }
    const bool question = isQuestion(flat, language);
    const QString normal = normalise(flat);
    const QStringList words = normal.split(u' ', Qt::SkipEmptyParts);
    for (qsizetype w = 0; w < words.size(); ++w) {
        const QString bare = bareWord(words[w]);
        if (!bare.isEmpty() && !std::any_of(bare.begin(), bare.end(), isSlot))
            index.words.insert(key(bare));
        const QString word = firstWord(words[w]);
        if (w == 0 || word.isEmpty())
            continue;
        if (word[0].isUpper())
            index.capitalInside.insert(word);
        else
            index.lowerInside.insert(word.toLower());
    }
    const QString folded = key(normal);
    if (holes.isEmpty()) {
        QList<Exact>& phrases = index.exact[folded];
        if (!std::any_of(phrases.begin(), phrases.end(), [&](const Exact& e) { return e.unit == unit; }))
            phrases.append({unit, question});
        return;
    }
    Pattern pattern{unit, {}, holes, question};
    QString literal;
    for (const QChar c : folded) {
        if (isSlot(c)) {
            pattern.literals.append(literal);
            literal.clear();
        } else {
            literal += c;
        }
    }
    pattern.literals.append(literal);
    // A placeholder the normalising dropped or doubled would misplace every value.
    if (pattern.literals.size() == holes.size() + 1)
        index.patterns.append(std::move(pattern));
}

std::optional<Phrasebook::Match> Phrasebook::match(
    const QString& sentence, const QString& language, const QString& target) const
{
    Sentence s{sentence, normalise(sentence), {}};
    if (s.normal.isEmpty())
        return std::nullopt;
    s.folded = key(s.normal);
    QList<Match> readings;
    if (!LanguageNames::isAuto(language)) {
        readingsIn(s, language, readings);
    } else {
        // English first: the phrasebook's own language, and the one most lines are in.
        readingsIn(s, QStringLiteral("en"), readings);
        for (const QString& code : LanguageNames::clientCodes()) {
            if (code != u"en")
                readingsIn(s, code, readings);
        }
    }
    if (readings.isEmpty())
        return std::nullopt;
    // Every reading must say the same: "Dzień dobry" is good morning and good afternoon, "Tak" yes and thanks.
    if (target.isEmpty()) {
        for (const Match& reading : std::as_const(readings)) {
            if (reading.unit != readings.first().unit || reading.values != readings.first().values)
                return std::nullopt;
        }
        return readings.first();
    }
    for (Match& reading : readings) {
        reading.text = render(reading, target);
        if (reading.text.isEmpty() || reading.text != readings.first().text)
            return std::nullopt;
    }
    return readings.first();
}

void Phrasebook::readingsIn(const Sentence& sentence, const QString& language, QList<Match>& readings) const
{
    const auto it = m_index.constFind(language);
    if (it == m_index.constEnd())
        return;
    const Index& index = *it;
    // A question is answered only by a question; a question written without its mark is still one.
    const bool question = isQuestion(sentence.text, language);
    const auto exact = index.exact.constFind(sentence.folded);
    if (exact != index.exact.constEnd()) {
        for (const Exact& phrase : *exact) {
            if (!question || phrase.question)
                readings.append({phrase.unit, language, {}, {}});
        }
    }
    if (sentence.folded.size() != sentence.normal.size())
        return;
    const auto tryPattern = [&](qsizetype p) {
        const Pattern& pattern = index.patterns[p];
        if ((question && !pattern.question) || !sentence.folded.startsWith(pattern.literals.first()))
            return;
        Match found{pattern.unit, language, {}, {}};
        if (fill(sentence, index, language, pattern, 0, pattern.literals.first().size(), found))
            readings.append(std::move(found));
    };
    const auto first = index.byFirst.constFind(sentence.folded.front());
    if (first != index.byFirst.constEnd()) {
        for (const qsizetype p : *first)
            tryPattern(p);
    }
    for (const qsizetype p : index.openingHole)
        tryPattern(p);
}

// Fills placeholder hole of pattern from the sentence at from, and the ones after it; the shortest value that
// fits first, as a reader takes the words up to the phrase's next words.
bool Phrasebook::fill(const Sentence& sentence, const Index& index, const QString& language, const Pattern& pattern,
    qsizetype hole, qsizetype from, Match& match) const
{
    const Hole& slot = pattern.holes[hole];
    const QString& next = pattern.literals[hole + 1];
    const bool last = hole + 1 == pattern.holes.size();
    const auto english = m_index.constFind(QStringLiteral("en"));
    const SlotValues::Context context{
        language, from == 0, &index.words, english != m_index.constEnd() ? &english->words : nullptr};
    const int maxWords = SlotValues::maxWords(slot.kind);
    // 1: filled; 0: not with this value; -1: nor with any longer one.
    const auto tryValue = [&](qsizetype end) {
        const QString value = sentence.normal.mid(from, end - from);
        if (index.spaced ? value.count(u' ') >= maxWords : value.size() > kMaxUnspacedValue)
            return -1;
        if (!SlotValues::accepts(slot.kind, value, context))
            return 0;
        match.values.insert(slot.x, value);
        return last || fill(sentence, index, language, pattern, hole + 1, end + next.size(), match) ? 1 : 0;
    };
    if (last) {
        const qsizetype end = sentence.folded.size() - next.size();
        return end > from && sentence.folded.endsWith(next) && tryValue(end) == 1;
    }
    for (qsizetype at = sentence.folded.indexOf(next, from + 1); at >= 0; at = sentence.folded.indexOf(next, at + 1)) {
        const int filled = tryValue(at);
        if (filled != 0)
            return filled == 1;
    }
    return false;
}

QString Phrasebook::render(const Match& match, const QString& language) const
{
    if (match.unit < 0 || match.unit >= m_units.size())
        return {};
    const auto segment = m_units[match.unit].segments.constFind(language);
    if (segment == m_units[match.unit].segments.constEnd() || segment->isEmpty())
        return {};
    // The first wording of a language is the one it is written in.
    QString text;
    for (const PhraseSegment::Part& part : segment->first().parts) {
        if (part.x == 0)
            text += part.text;
        else if (match.values.contains(part.x))
            text += match.values.value(part.x);
        else
            return {};
    }
    return text.trimmed();
}

bool Phrasebook::keepsCapital(const QString& word, const QString& language) const
{
    if (language == u"en" && (word == u"I" || word.startsWith(QLatin1String("I'")) || word.startsWith(u"I’")))
        return true;
    const auto it = m_index.constFind(language);
    if (it == m_index.constEnd())
        return false;
    return it->capitalInside.contains(word) && !it->lowerInside.contains(word.toLower());
}

bool Phrasebook::serves(const QString& source, const QString& target) const
{
    const QMap<QString, int> counts = countsPerLanguage();
    return counts.value(target) > 0 && (LanguageNames::isAuto(source) || counts.value(source) > 0);
}

QStringList Phrasebook::files(const QString& shippedFile, const QString& dataHome)
{
    QStringList result;
    if (!shippedFile.isEmpty())
        result.append(shippedFile);
    if (dataHome.isEmpty())
        return result;
    const QDir dir(dataHome + QStringLiteral("/verbolt/phrasebook"));
    // Links to devices and FIFOs are listed too, so that reading them says why they are skipped.
    for (const QFileInfo& file :
        dir.entryInfoList({QStringLiteral("*.tmx")}, QDir::Files | QDir::System | QDir::Readable, QDir::Name))
        result.append(file.absoluteFilePath());
    return result;
}

QString Phrasebook::shippedFile()
{
    const QString installed = QDir::cleanPath(
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/verbolt/phrasebook/qso.tmx"));
    if (QFileInfo::exists(installed))
        return installed;
#ifdef VERBOLT_PHRASEBOOK_SOURCE
    return QStringLiteral(VERBOLT_PHRASEBOOK_SOURCE);
#else
    return installed;
#endif
}

} // namespace service
