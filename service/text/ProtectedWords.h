#pragma once

#include <QList>
#include <QString>

namespace service {

/// The words of a ham's chat that must reach the other side exactly as written.
enum class WordKind {
    Url,
    Email,
    Callsign, ///< EA4ABC, 2E0ABC, K1ABC/P, VK2/G4ABC, DL1XYZ/MM
    QCode, ///< QTH, QSL, QRZ?
    Abbreviation, ///< 73, CQ, DX, OM, XYL, TNX, "de" between callsigns
    Mode, ///< FT8, SSB, CW, PSK31
    Report, ///< 59, 599, 5/9, +10 dB, -12
    Locator, ///< IN80, IN80do
    Frequency, ///< 14.074 MHz, 145.600
    Band, ///< 40m, 20 m, 70 cm
    Time, ///< 1830Z, 18:30 UTC
    Model, ///< IC-7300, FT-991A, any word of capitals and digits
    Number, ///< 25, 3.5, 100 W
    Emoticon, ///< :) ;-) :D <3
    Symbol, ///< what an engine's keep form cannot carry as text: private-use characters, "{1}", Apertium's "^"
};

/// One protected word (or group of words, "100 W") in a text.
struct ProtectedSpan {
    qsizetype start = 0;
    qsizetype length = 0;
    WordKind kind = WordKind::Number;
    QString text;
    qsizetype end() const { return start + length; }
};

/// Finds the protected words of a text.
namespace ProtectedWords {

/// The protected spans of text, in order, never overlapping; where two candidates overlap the longer wins.
/// allCapitals: the line is written all in capitals, so short ham abbreviations that are also words of some
/// language ("AM", "ES", "HI") are left to the text.
QList<ProtectedSpan> find(const QString& text, bool allCapitals = false);

/// Whether text is exactly one word of the kind a phrasebook placeholder names: "call", "report", "band", "freq",
/// "mode", "locator", "time", "number". Unknown kinds are false.
bool isWhole(const QString& text, const QString& placeholderKind);

/// Whether a line is written all in capitals: at least four letters outside its protected words, none of them
/// lower case.
bool isAllCapitals(const QString& text, const QList<ProtectedSpan>& spans);

/// The line lowered to sentence case: the first letter of each sentence and of English "I" stay capitals, the
/// protected spans stay exactly as written. language: the line's code ("en", "auto").
QString toSentenceCase(const QString& text, const QList<ProtectedSpan>& spans, const QString& language);

} // namespace ProtectedWords

} // namespace service
