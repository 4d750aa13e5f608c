#include "phrasebook/Phrasebook.h"

#include "LanguageNames.h"
#include "phrasebook/SlotValues.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <thread>

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

// The marks normalising drops: before a space or at the end; after a space or at the start; everywhere (the CJK
// ones); at the end.
bool dropsBeforeSpace(QChar c)
{
    switch (c.unicode()) {
    case u',':
    case u';':
    case u':':
    case u'!':
    case u'?':
    case u'¡':
    case u'¿':
    case u'、':
    case u'，':
    case u'。':
    case u'！':
    case u'？':
    case u'«':
    case u'»':
    case u'"':
    case u'“':
    case u'”':
    case u'،':
    case u'؛':
    case u'؟': return true;
    default: return false;
    }
}

bool dropsAfterSpace(QChar c)
{
    return c == u'¡' || c == u'¿' || c == u'«' || c == u'"' || c == u'“';
}

bool dropsAlways(QChar c)
{
    return c == u'、' || c == u'，' || c == u'。' || c == u'！' || c == u'？';
}

bool endsText(QChar c)
{
    return c == u'.' || c == u'…' || c == u'।';
}

// The text as phrases are compared: apostrophes and spaces unified, punctuation at the ends and before spaces
// dropped. Letter case stays (the comparison ignores it) so that copied words keep theirs. By hand, not by
// regular expressions: every cell of the phrasebook goes through it at start.
QString normalise(const QString& input)
{
    const qsizetype n = input.size();
    QString text(n, Qt::Uninitialized);
    QChar* out = text.data();
    qsizetype length = 0;
    const QChar* in = input.constData();
    const auto at = [in](qsizetype i) {
        const QChar c = in[i];
        return c == u'’' ? QChar(u'\'') : c == u'\u00A0' ? QChar(u' ') : c;
    };
    bool space = false;
    for (qsizetype i = 0; i < n;) {
        const QChar c = at(i);
        if (dropsBeforeSpace(c)) {
            qsizetype j = i;
            while (j < n && dropsBeforeSpace(at(j)))
                ++j;
            if (j == n || at(j).isSpace()) {
                i = j;
                continue;
            }
        }
        if (dropsAfterSpace(c) && (i == 0 || at(i - 1).isSpace())) {
            while (i < n && dropsAfterSpace(at(i)))
                ++i;
            continue;
        }
        ++i;
        if (dropsAlways(c))
            continue;
        if (c.isSpace()) {
            space = true;
            continue;
        }
        // One space for every run, none at the start: the text never grows past the input.
        if (space && length > 0)
            out[length++] = u' ';
        space = false;
        out[length++] = c;
    }
    while (length > 0 && (endsText(out[length - 1]) || out[length - 1] == u' '))
        --length;
    text.truncate(length);
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
    while (end > 0 && (text[end - 1].isSpace() || closing.contains(text[end - 1])))
        --end;
    if (end == 0)
        return false;
    const QChar last = text[end - 1];
    return last == u'?' || last == u'？' || last == u'؟' || last == u'⸮'
        || (language == u"el" && (last == u';' || last == u'\u037E'));
}

} // namespace

struct Phrasebook::Sentence {
    QString text; ///< as written
    QString normal; ///< normalised
    QString folded; ///< normalised and case-folded: the same length as normal, or nothing is filled from it
    QString plain; ///< as written, apostrophes and spaces unified: every value is found in it as it stands
};

bool Phrasebook::addFile(const QString& path, QString* error)
{
    // The word finder that checks what fills a placeholder (and cuts lines into sentences) compiles its patterns on
    // first use: on another core while the file is read, so that the first sentence does not wait for it.
    std::thread warm([] {
        SlotValues::accepts(QStringLiteral("number"), QStringLiteral("100"), {});
        SlotValues::accepts(QStringLiteral("call"), QStringLiteral("EA4ABC"), {});
    });
    const auto units = TmxReader::read(path, error);
    if (units)
        addUnits(*units);
    warm.join();
    return units.has_value();
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
    for (const PhraseUnit& unit : std::as_const(m_units)) {
        for (auto it = unit.segments.cbegin(); it != unit.segments.cend(); ++it) {
            if (!it.value().isEmpty())
                ++m_counts[it.key()];
        }
    }
    QList<std::pair<QString, Index*>> languages;
    for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it)
        languages.append({it.key(), &m_index[it.key()]});
    // Each language's index on its own: half of them on another core, so that the service answers sooner.
    const auto indexLanguages = [this, &languages](qsizetype from, qsizetype to) {
        for (qsizetype l = from; l < to; ++l) {
            const QString& language = std::as_const(languages)[l].first;
            Index& index = *std::as_const(languages)[l].second;
            index.phrases = std::as_const(m_counts).value(language);
            index.spaced = !withoutSpaces(language);
            // Read only, from both threads: nothing here may detach.
            const QList<PhraseUnit>& units = m_units;
            for (qsizetype u = 0; u < units.size(); ++u) {
                const auto variants = units[u].segments.constFind(language);
                if (variants == units[u].segments.cend())
                    continue;
                for (const PhraseSegment& segment : *variants)
                    indexSegment(index, u, language, segment);
            }
            for (qsizetype p = 0; p < index.patterns.size(); ++p) {
                const QString& opening = index.patterns[p].literals.first();
                if (opening.isEmpty())
                    index.openingHole.append(p);
                else
                    index.byFirst[opening.front()].append(p);
            }
        }
    };
    const qsizetype half = languages.size() / 2;
    if (m_units.size() < 50 || half == 0)
        return indexLanguages(0, languages.size());
    std::thread other(indexLanguages, 0, half);
    indexLanguages(half, languages.size());
    other.join();
}

void Phrasebook::indexSegment(Index& index, qsizetype unit, const QString& language, const PhraseSegment& segment)
{
    // The phrase with each placeholder as one private character, normalised as sentences are.
    QString flat = segment.parts.size() == 1 ? segment.parts.first().text : QString();
    QList<Hole> holes;
    for (const PhraseSegment::Part& part : segment.parts) {
        if (segment.parts.size() == 1)
            break;
        if (part.x == 0) {
            flat += part.text;
        } else if (holes.size() < 0x100) {
            flat += QChar(char16_t(kSlot + holes.size()));
            holes.append({part.x, part.kind});
        }
    }
    const bool question = isQuestion(flat, language);
    const QString normal = normalise(flat);
    const QString folded = key(normal);
    index.words.append(folded).append(u'\n');
    index.cased.append(normal).append(u'\n');
    if (holes.isEmpty()) {
        QList<Exact>& phrases = index.exact[folded];
        if (!std::any_of(phrases.begin(), phrases.end(), [&](const Exact& e) { return e.unit == unit; }))
            phrases.append({unit, question});
        return;
    }
    Pattern pattern{unit, {}, holes, question};
    qsizetype from = 0;
    for (qsizetype i = 0; i < folded.size(); ++i) {
        if (isSlot(folded[i])) {
            pattern.literals.append(folded.mid(from, i - from));
            from = i + 1;
        }
    }
    pattern.literals.append(folded.mid(from));
    // A placeholder the normalising dropped or doubled would misplace every value.
    if (pattern.literals.size() == holes.size() + 1)
        index.patterns.append(std::move(pattern));
}

std::optional<Phrasebook::Match> Phrasebook::match(
    const QString& sentence, const QString& language, const QString& target) const
{
    Sentence s{sentence, normalise(sentence), {}, {}};
    if (s.normal.isEmpty())
        return std::nullopt;
    s.folded = key(s.normal);
    s.plain = QString(sentence).replace(u'’', u'\'').replace(u'\u00A0', u' ').simplified();
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
    // A word of one language may be another's phrase: "Moi." is Finnish hello and French "me", "Da." Romanian yes
    // and German "there". Told which language it is, the phrase; guessing, nothing.
    if (LanguageNames::isAuto(language) && !s.folded.contains(u' ')) {
        for (const QString& code : LanguageNames::clientCodes()) {
            const bool read = std::any_of(
                readings.cbegin(), readings.cend(), [&](const Match& reading) { return reading.language == code; });
            if (!read && SlotValues::isCommonWord(s.folded, code))
                return std::nullopt;
        }
    }
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
        // Words the normalising joined ("Madrid, Spain") are not one value.
        if (!sentence.plain.contains(value) || !SlotValues::accepts(slot.kind, value, context))
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
    // Inside a phrase: after a space, not at the start of a line.
    const QString lower = word.toLower();
    const auto inside = [&](const QString& form) {
        for (qsizetype at = it->cased.indexOf(form); at >= 0; at = it->cased.indexOf(form, at + 1)) {
            const qsizetype end = at + form.size();
            if (at > 0 && it->cased[at - 1] == u' '
                && (end == it->cased.size() || !(it->cased[end].isLetterOrNumber() || it->cased[end].isMark())))
                return true;
        }
        return false;
    };
    return word != lower && inside(word) && !inside(lower);
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
