#pragma once

#include "Js8Client.h"

#include <QString>

namespace js8 {

/// JS8Call's end-of-message mark, as it shows it after a message's last frame.
inline constexpr char16_t endOfMessage = u'\u2662';

/// Whether JS8Call carries the character as it is: the letters of its free-text code (capitals, digits, space and
/// . - + ? ! " /).
bool carries(char32_t c);

/// The message a directed text says, without JS8Call's "FROM: TO" in front and its end-of-message mark.
QString messageBody(const Js8Client::Directed& message);

/// Whether two callsigns or group names name the same station or group (letter case aside).
bool sameCall(const QString& a, const QString& b);

} // namespace js8
