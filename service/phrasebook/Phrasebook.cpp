#include "phrasebook/Phrasebook.h"

#include "LanguageNames.h"
#include "text/ProtectedWords.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace service {

namespace {

constexpr char16_t kSlot = 0xE200;

bool isCopiedKind(const QString& kind)
{
    return kind == u"name" || kind == u"place" || kind == u"rig" || kind == u"antenna";
}

bool isNameKind(const QString& kind)
{
    return kind == u"name" || kind == u"place";
}

// Names and places are written with capitals where the script has them: "Good morning, my friend" greets no one
// called "my friend".
bool looksLikeName(const QString& words)
{
    for (const QString& word : words.split(u' ', Qt::SkipEmptyParts)) {
        if (word.front().isLower())
            return false;
    }
    return true;
}

bool withoutSpaces(const QString& language)
{
    return language == u"ja" || language == u"zh-CN";
}

// The text as phrases are compared: apostrophes and spaces unified, punctuation at the ends and before spaces
// dropped. Letter case stays (the comparison ignores it) so that copied words keep theirs.
QString normalise(QString text)
{
    text.replace(u'’', u'\'');
    text.replace(u'\u00A0', u' ');
    static const QRegularExpression innerPunctuation(
        QStringLiteral("[,;:!?¡¿、，。！？«»\"“”،؛؟]+(?=\\s|$)|(?<=^|\\s)[¡¿«\"“]+|[、，。！？]"));
    text.remove(innerPunctuation);
    static const QRegularExpression endPunctuation(QStringLiteral("[.…।]+$"));
    text = text.simplified();
    text.remove(endPunctuation);
    return text.simplified();
}

QString key(const QString& text)
{
    return text.toCaseFolded();
}

QString firstWord(const QString& text)
{
    static const QRegularExpression word(
        QStringLiteral("^[\\p{L}'’-]+"), QRegularExpression::UseUnicodePropertiesOption);
    return word.match(text).captured(0);
}

} // namespace

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
    m_built = false;
}

void Phrasebook::build() const
{
    if (m_built)
        return;
    m_index.clear();
    for (qsizetype u = 0; u < m_units.size(); ++u) {
        for (auto it = m_units[u].segments.begin(); it != m_units[u].segments.end(); ++it) {
            const QString& language = it.key();
            Index& index = m_index[language];
            // The phrase with each placeholder as one private character, normalised as sentences are.
            QString flat;
            QList<std::pair<int, QString>> holes;
            for (const PhraseSegment::Part& part : it.value().parts) {
                if (part.x == 0) {
                    flat += part.text;
                } else {
                    flat += QChar(char16_t(kSlot + holes.size()));
                    holes.append({part.x, part.kind});
                }
            }
            const QString normal = normalise(flat);
            const QStringList words = normal.split(u' ', Qt::SkipEmptyParts);
            for (qsizetype w = 1; w < words.size(); ++w) {
                const QString word = firstWord(words[w]);
                if (word.isEmpty())
                    continue;
                if (word[0].isUpper())
                    index.capitalInside.insert(word);
                else
                    index.lowerInside.insert(word.toLower());
            }
            if (holes.isEmpty()) {
                if (!index.exact.contains(key(normal)))
                    index.exact.insert(key(normal), u);
                continue;
            }
            QString pattern = QStringLiteral("^");
            qsizetype literal = 0;
            for (const QChar c : normal) {
                const qsizetype s = c.unicode() - kSlot;
                if (s >= 0 && s < holes.size()) {
                    const QString& kind = holes[s].second;
                    if (withoutSpaces(language))
                        pattern += QStringLiteral("(.+?)");
                    else if (isCopiedKind(kind))
                        pattern += QStringLiteral("(\\S+(?: \\S+){0,3}?)");
                    else
                        pattern += QStringLiteral("(\\S+(?: \\S+){0,2}?)");
                } else {
                    pattern += QRegularExpression::escape(QString(c));
                    ++literal;
                }
            }
            pattern += u'$';
            index.patterns.append({u,
                QRegularExpression(pattern,
                    QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption),
                holes, literal});
        }
    }
    for (Index& index : m_index) {
        std::stable_sort(index.patterns.begin(), index.patterns.end(),
            [](const Pattern& a, const Pattern& b) { return a.literalLength > b.literalLength; });
    }
    m_built = true;
}

std::optional<Phrasebook::Match> Phrasebook::match(const QString& sentence, const QString& language) const
{
    build();
    if (!LanguageNames::isAuto(language))
        return matchIn(sentence, language);
    // English first: the phrasebook's own language, and the one most lines are in.
    if (auto found = matchIn(sentence, QStringLiteral("en")))
        return found;
    for (const QString& code : LanguageNames::clientCodes()) {
        if (code == u"en")
            continue;
        if (auto found = matchIn(sentence, code))
            return found;
    }
    return std::nullopt;
}

std::optional<Phrasebook::Match> Phrasebook::matchIn(const QString& sentence, const QString& language) const
{
    const auto it = m_index.constFind(language);
    if (it == m_index.constEnd())
        return std::nullopt;
    const QString normal = normalise(sentence);
    if (normal.isEmpty())
        return std::nullopt;
    const auto exact = it->exact.constFind(key(normal));
    if (exact != it->exact.constEnd())
        return Match{*exact, language, {}};
    for (const Pattern& pattern : it->patterns) {
        const auto found = pattern.regex.match(normal);
        if (!found.hasMatch())
            continue;
        Match match{pattern.unit, language, {}};
        bool fits = true;
        for (qsizetype s = 0; s < pattern.holes.size() && fits; ++s) {
            const QString value = found.captured(int(s) + 1);
            const QString& kind = pattern.holes[s].second;
            if (isCopiedKind(kind)) {
                // Copied words are words, not a protected word or another phrase's punctuation.
                fits = !value.isEmpty() && value[0].isLetterOrNumber() && ProtectedWords::find(value).isEmpty()
                    && (!isNameKind(kind) || looksLikeName(value));
            } else {
                fits = ProtectedWords::isWhole(value, kind);
            }
            match.values.insert(pattern.holes[s].first, value);
        }
        if (fits)
            return match;
    }
    return std::nullopt;
}

QString Phrasebook::render(const Match& match, const QString& language) const
{
    if (match.unit < 0 || match.unit >= m_units.size())
        return {};
    const auto segment = m_units[match.unit].segments.constFind(language);
    if (segment == m_units[match.unit].segments.constEnd())
        return {};
    QString text;
    for (const PhraseSegment::Part& part : segment->parts) {
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
    build();
    if (language == u"en" && (word == u"I" || word.startsWith(QLatin1String("I'")) || word.startsWith(u"I’")))
        return true;
    const auto it = m_index.constFind(language);
    if (it == m_index.constEnd())
        return false;
    return it->capitalInside.contains(word) && !it->lowerInside.contains(word.toLower());
}

QMap<QString, int> Phrasebook::countsPerLanguage() const
{
    QMap<QString, int> counts;
    for (const PhraseUnit& unit : m_units) {
        for (auto it = unit.segments.begin(); it != unit.segments.end(); ++it)
            ++counts[it.key()];
    }
    return counts;
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
    for (const QFileInfo& file : dir.entryInfoList({QStringLiteral("*.tmx")}, QDir::Files | QDir::Readable, QDir::Name))
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
