#pragma once

#include "OnAirText.h"

#include <QString>

/// What an fldigi modem can carry, and a text fitted to it as it goes on the air.
class ModeAlphabet
{
public:
    enum class Kind {
        /// PSK31's varicode and the other keyboard modes: ASCII.
        Ascii,
        /// RTTY's Baudot (ITA2, US figures): capitals, digits and a few signs.
        Baudot,
        /// Morse: letters sent as capitals, digits and the signs with a code of their own.
        Morse,
    };

    /// The alphabet of the modem fldigi names ("BPSK31", "RTTY", "CW", "OLIVIA-8/500").
    static ModeAlphabet forModem(const QString& modemName);

    Kind kind() const { return m_kind; }
    /// Whether the mode carries c as it is; lowercase letters count in the modes that send them as capitals.
    bool carries(char32_t c) const;
    /// text (lines separated by CR or LF) as it goes on the air: lines separated by LF, capitals where the mode
    /// sends them, or refused with the reason.
    onair::Fitted fit(const QString& text) const;

private:
    explicit ModeAlphabet(Kind kind)
        : m_kind(kind)
    { }

    Kind m_kind;
};
