#pragma once

#include "phrasebook/TmxReader.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace service {

/// QSO phrases in many languages, read from TMX files: finds the phrase a sentence is (its letter case,
/// punctuation and spacing aside, its placeholders filled from the sentence) and writes it in another language.
/// It answers only what it fully understands: a placeholder takes only what may be copied into any language
/// (SlotValues), a question only a question, and a sentence that reads as several phrases only when all of them
/// say the same in the target.
class Phrasebook
{
public:
    /// A sentence found in the phrasebook.
    struct Match {
        qsizetype unit = -1;
        QString language; ///< the language it was found in
        QHash<int, QString> values; ///< placeholder number -> the words as the sentence has them
        QString text; ///< the phrase in the target asked for, placeholders filled
    };

    /// Adds the phrases of a TMX file; a phrase id already there takes the new file's languages over the old
    /// ones. False, with error set, when the file cannot be read (nothing of it is taken): not a regular file,
    /// larger than TmxReader::kMaxFileBytes, or not TMX.
    bool addFile(const QString& path, QString* error);
    /// The same from units already read. The phrases are indexed here, so that no sentence waits for it.
    void addUnits(const QList<PhraseUnit>& units);

    /// The phrase sentence is in language ("auto": in any language), written in target. Nothing when the sentence
    /// is no phrase, or reads as several (in one language or, for "auto", in several) that target writes
    /// differently. Without a target, the readings must be one phrase with the same placeholders.
    std::optional<Match> match(const QString& sentence, const QString& language, const QString& target = {}) const;
    /// The phrase of a match in language, placeholders filled; empty when the phrase lacks that language.
    QString render(const Match& match, const QString& language) const;

    /// Whether a clause that follows a comma keeps its first letter a capital in language: English "I", German
    /// nouns: words the phrasebook writes with a capital inside its sentences and never in lower case.
    bool keepsCapital(const QString& word, const QString& language) const;

    qsizetype size() const { return m_units.size(); }
    /// How many phrases each language has.
    QMap<QString, int> countsPerLanguage() const { return m_counts; }
    /// Whether both languages have phrases.
    bool serves(const QString& source, const QString& target) const;

    /// The files the service reads, in order: the shipped one (shippedFile), then the user's
    /// $XDG_DATA_HOME/verbolt/phrasebook/*.tmx by name.
    static QStringList files(const QString& shippedFile, const QString& dataHome);
    /// The phrasebook that ships with the program: beside the binary's prefix (../share/verbolt/phrasebook/qso.tmx)
    /// when installed, else the one in the source tree.
    static QString shippedFile();

private:
    struct Hole {
        int x; ///< the placeholder's number
        QString kind;
    };
    /// A phrase with placeholders: literal texts (case-folded, normalised) around its holes.
    struct Pattern {
        qsizetype unit;
        QStringList literals; ///< one more than holes
        QList<Hole> holes;
        bool question;
    };
    struct Exact {
        qsizetype unit;
        bool question;
    };
    struct Index {
        int phrases = 0; ///< units with the language
        bool spaced = true; ///< the language puts spaces between words
        QHash<QString, QList<Exact>> exact; ///< normalised, case-folded text -> its phrases
        QList<Pattern> patterns;
        QHash<QChar, QList<qsizetype>> byFirst; ///< patterns by the first character of their text
        QList<qsizetype> openingHole; ///< patterns that begin with a placeholder
        QString words; ///< its phrases normalised and case-folded, one a line: the words it knows
        QString cased; ///< the same in their own case, a space before every word but a phrase's first
    };
    struct Sentence;
    void build();
    void indexSegment(Index& index, qsizetype unit, const QString& language, const PhraseSegment& segment);
    void readingsIn(const Sentence& sentence, const QString& language, QList<Match>& readings) const;
    bool fill(const Sentence& sentence, const Index& index, const QString& language, const Pattern& pattern,
        qsizetype hole, qsizetype from, Match& match) const;

    QList<PhraseUnit> m_units;
    QHash<QString, qsizetype> m_byId;
    QHash<QString, Index> m_index;
    QMap<QString, int> m_counts; ///< phrases per language
};

} // namespace service
