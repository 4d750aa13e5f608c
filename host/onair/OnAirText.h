#pragma once

#include <QString>

#include <functional>

namespace onair {

/// A text as a mode can carry it: transliterated (Cyrillic, Greek: a standard romanisation), accents dropped
/// where the letter is not carried, or refused with the reason for scripts it cannot carry at all.
struct Fitted {
    QString text;
    QString refusal;
    bool ok() const { return refusal.isEmpty(); }
};

/// carries(c): whether the mode carries that character as it is.
///
/// Each character the mode does not carry is tried, in turn, in the other letter case, transliterated (Cyrillic by
/// ICAO Doc 9303, Greek by ELOT 743), without its accents (compatibility forms unfolded), and as a close ASCII
/// stand-in (ß as ss, curly quotes as straight ones); spaces it lacks become plain spaces, and punctuation it lacks
/// is left out (a space kept between the words it joined, none for an apostrophe). A character none of these fit
/// refuses the whole text; the refusal names its script and the first such character, e.g.
/// "Chinese characters cannot be sent in this mode (“你”)", and text is then empty.
Fitted fitText(const QString& text, const std::function<bool(char32_t)>& carries);

} // namespace onair
