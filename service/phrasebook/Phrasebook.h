#pragma once

#include "phrasebook/TmxReader.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace service {

/// QSO phrases in many languages, read from TMX files: finds the phrase a sentence is (its letter case,
/// punctuation and spacing aside, its placeholders filled from the sentence) and writes it in another language.
class Phrasebook
{
public:
    /// A sentence found in the phrasebook.
    struct Match {
        qsizetype unit = -1;
        QString language; ///< the language it was found in
        QHash<int, QString> values; ///< placeholder number -> the words as the sentence has them
    };

    /// Adds the phrases of a TMX file; a phrase id already there takes the new file's languages over the old
    /// ones. False, with error set, when the file cannot be read (nothing of it is taken).
    bool addFile(const QString& path, QString* error);
    /// The same from units already read.
    void addUnits(const QList<PhraseUnit>& units);

    /// The phrase sentence is in language, or, for "auto", in the first language where it is one.
    std::optional<Match> match(const QString& sentence, const QString& language) const;
    /// The phrase of a match in language, placeholders filled; empty when the phrase lacks that language.
    QString render(const Match& match, const QString& language) const;

    /// Whether a clause that follows a comma keeps its first letter a capital in language: English "I", German
    /// nouns: words the phrasebook writes with a capital inside its sentences and never in lower case.
    bool keepsCapital(const QString& word, const QString& language) const;

    qsizetype size() const { return m_units.size(); }
    /// How many phrases each language has.
    QMap<QString, int> countsPerLanguage() const;
    /// Whether both languages have phrases.
    bool serves(const QString& source, const QString& target) const;

    /// The files the service reads, in order: the shipped one (shippedFile), then the user's
    /// $XDG_DATA_HOME/verbolt/phrasebook/*.tmx by name.
    static QStringList files(const QString& shippedFile, const QString& dataHome);
    /// The phrasebook that ships with the program: beside the binary's prefix (../share/verbolt/phrasebook/qso.tmx)
    /// when installed, else the one in the source tree.
    static QString shippedFile();

private:
    struct Pattern {
        qsizetype unit;
        QRegularExpression regex;
        QList<std::pair<int, QString>> holes; ///< capture i+1: placeholder number and kind
        qsizetype literalLength;
    };
    struct Index {
        QHash<QString, qsizetype> exact; ///< normalised text -> unit
        QList<Pattern> patterns; ///< the most literal text first
        QSet<QString> capitalInside; ///< words seen with a capital after a sentence's first word
        QSet<QString> lowerInside; ///< the same seen in lower case (lower-cased)
    };
    void build() const;
    std::optional<Match> matchIn(const QString& sentence, const QString& language) const;

    QList<PhraseUnit> m_units;
    QHash<QString, qsizetype> m_byId;
    mutable QHash<QString, Index> m_index;
    mutable bool m_built = false;
};

} // namespace service
