#include "ModeAlphabet.h"

#include <string_view>

namespace {

using namespace Qt::StringLiterals;

bool isAsciiLetter(char32_t c)
{
    return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z');
}

bool isDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

} // namespace

ModeAlphabet ModeAlphabet::forModem(const QString& modemName)
{
    const QString name = modemName.trimmed().toUpper();
    if (name.startsWith("RTTY"_L1))
        return ModeAlphabet(Kind::Baudot);
    if (name == "CW"_L1)
        return ModeAlphabet(Kind::Morse);
    return ModeAlphabet(Kind::Ascii);
}

bool ModeAlphabet::carries(char32_t c) const
{
    if (c == U'\n' || c == U' ')
        return true;
    // '^' starts one of fldigi's commands in the transmit text (^r: back to receive), so it never goes as itself.
    if (c == U'^')
        return false;
    if (c < 0x20 || c >= 0x7f)
        return false;
    switch (m_kind) {
    case Kind::Ascii: return true;
    case Kind::Baudot:
        return isAsciiLetter(c) || isDigit(c)
            || std::u16string_view(u"-'$,!:(\")#?&./;").find(char16_t(c)) != std::u16string_view::npos;
    case Kind::Morse:
        // fldigi sends + = < > and the like as prosigns, not as the signs written.
        return isAsciiLetter(c) || isDigit(c)
            || std::u16string_view(u"\\'$(),-./:;?_@!\"").find(char16_t(c)) != std::u16string_view::npos;
    }
    return false;
}

onair::Fitted ModeAlphabet::fit(const QString& text) const
{
    QString lines = text;
    lines.replace(u"\r\n"_s, u"\n"_s);
    lines.replace(u'\r', u'\n');
    onair::Fitted fitted = onair::fitText(lines, [this](char32_t c) { return carries(c); });
    if (fitted.ok() && m_kind != Kind::Ascii)
        fitted.text = fitted.text.toUpper();
    return fitted;
}
