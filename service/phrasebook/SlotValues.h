#pragma once

#include <QString>

namespace service {

/// What may fill a phrase's placeholder. A phrase copies its placeholders into the translation as written, so only
/// what every language writes the same may fill one: names and places, callsigns, model names, numbers, and the
/// protected words of the placeholder's kind - never a word of the sentence's own language, which would reach the
/// chat untranslated ("Mein Funkgerät ist broken").
namespace SlotValues {

/// Where a value stands, and what the phrasebook knows of its language.
struct Context {
    QString language; ///< the sentence's language, a client code
    bool atStart = false; ///< the value begins the sentence, where every script with capitals writes one
    const QString* words = nullptr; ///< the language's phrases, case-folded, one a line (see containsWord)
    const QString* englishWords = nullptr; ///< the same of English, for Latin words in other scripts
};

/// The most words a value of kind may have in a language that spaces its words.
int maxWords(const QString& kind);

/// Whether value may fill a placeholder of kind ("name", "place", "rig", "antenna", "number", or a protected-word
/// kind such as "call", "band", "report").
///  - rig, antenna: a model name (IC-7300, FT-991A, G5RV), after a maker's name or not ("Icom IC-7300").
///  - number: a numeral ("100", "-3", "3.5"), with a unit symbol or not ("100 W"); no unit words ("watts").
///  - name, place: words that look like a name in their language: each begins with a capital, and where capitals
///    do not tell a name from other words (German nouns, a sentence's first word, words in capitals, scripts
///    without capitals) none is a word the language's phrases use or a common word of its address forms
///    ("Freunde", "Kollege", "NOT IMPORTANT"). A callsign is a name. Words of scripts without capitals
///    are never taken: nothing in them says a name.
bool accepts(const QString& kind, const QString& value, const Context& context);

/// Whether text holds word as a whole word: no letter, digit or mark right before or after it.
bool containsWord(const QString& text, const QString& word);

/// Whether word (any case) is one of the shipped common words of language: articles, pronouns, and the nouns and
/// adjectives a QSO addresses someone with or answers with ("friend", "Kollege", "secret").
bool isCommonWord(const QString& word, const QString& language);

} // namespace SlotValues

} // namespace service
