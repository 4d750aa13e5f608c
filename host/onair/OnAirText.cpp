#include "OnAirText.h"

#include <QChar>
#include <QList>

#include <string>

namespace onair {
namespace {

using namespace Qt::StringLiterals;

// ICAO Doc 9303: Russian, Ukrainian, Belarusian, Serbian and Macedonian letters in plain ASCII.
const char* cyrillicLatin(char32_t lower)
{
    switch (lower) {
    case U'а': return "a";
    case U'б': return "b";
    case U'в': return "v";
    case U'г': return "g";
    case U'д': return "d";
    case U'е': return "e";
    case U'ж': return "zh";
    case U'з': return "z";
    case U'и': return "i";
    case U'й': return "i";
    case U'к': return "k";
    case U'л': return "l";
    case U'м': return "m";
    case U'н': return "n";
    case U'о': return "o";
    case U'п': return "p";
    case U'р': return "r";
    case U'с': return "s";
    case U'т': return "t";
    case U'у': return "u";
    case U'ф': return "f";
    case U'х': return "kh";
    case U'ц': return "ts";
    case U'ч': return "ch";
    case U'ш': return "sh";
    case U'щ': return "shch";
    case U'ъ': return "ie";
    case U'ы': return "y";
    case U'ь': return "";
    case U'э': return "e";
    case U'ю': return "iu";
    case U'я': return "ia";
    case U'ё': return "e";
    case U'ђ': return "d";
    case U'ѓ': return "g";
    case U'є': return "ie";
    case U'ѕ': return "dz";
    case U'і': return "i";
    case U'ї': return "i";
    case U'ј': return "j";
    case U'љ': return "lj";
    case U'њ': return "nj";
    case U'ћ': return "c";
    case U'ќ': return "k";
    case U'ѝ': return "i";
    case U'ў': return "u";
    case U'џ': return "dz";
    case U'ґ': return "g";
    default: return nullptr;
    }
}

// ELOT 743, letter by letter; the pairs that read as one sound are handled where the text is walked.
const char* greekLatin(char32_t base)
{
    switch (base) {
    case U'α': return "a";
    case U'β': return "v";
    case U'γ': return "g";
    case U'δ': return "d";
    case U'ε': return "e";
    case U'ζ': return "z";
    case U'η': return "i";
    case U'θ': return "th";
    case U'ι': return "i";
    case U'κ': return "k";
    case U'λ': return "l";
    case U'μ': return "m";
    case U'ν': return "n";
    case U'ξ': return "x";
    case U'ο': return "o";
    case U'π': return "p";
    case U'ρ': return "r";
    case U'σ': return "s";
    case U'ς': return "s";
    case U'τ': return "t";
    case U'υ': return "y";
    case U'φ': return "f";
    case U'χ': return "ch";
    case U'ψ': return "ps";
    case U'ω': return "o";
    default: return nullptr;
    }
}

// Close ASCII stand-ins for what has no decomposition; an empty one drops the character.
const char* standIn(char32_t c)
{
    switch (c) {
    case U'ß': return "ss";
    case U'ẞ': return "SS";
    case U'æ': return "ae";
    case U'Æ': return "AE";
    case U'œ': return "oe";
    case U'Œ': return "OE";
    case U'ø': return "o";
    case U'Ø': return "O";
    case U'ł': return "l";
    case U'Ł': return "L";
    case U'đ': return "d";
    case U'Đ': return "D";
    case U'ð': return "d";
    case U'Ð': return "D";
    case U'þ': return "th";
    case U'Þ': return "TH";
    case U'ı': return "i";
    case U'ħ': return "h";
    case U'Ħ': return "H";
    case U'ŧ': return "t";
    case U'Ŧ': return "T";
    case U'‘':
    case U'’':
    case U'‚':
    case U'‛':
    case U'′':
    case U'`':
    case U'´': return "'";
    case U'“':
    case U'”':
    case U'„':
    case U'‟':
    case U'″':
    case U'«':
    case U'»': return "\"";
    case U'‐':
    case U'‑':
    case U'‒':
    case U'–':
    case U'—':
    case U'―':
    case U'−': return "-";
    case U'×': return "x";
    case U'€': return "EUR";
    // Spanish opening marks: the closing one says it all.
    case U'¡':
    case U'¿': return "";
    default: return nullptr;
    }
}

QString scriptName(char32_t c)
{
    switch (QChar::script(c)) {
    case QChar::Script_Han: return u"Chinese characters"_s;
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana: return u"Japanese kana"_s;
    case QChar::Script_Hangul: return u"Korean Hangul"_s;
    case QChar::Script_Arabic: return u"Arabic script"_s;
    case QChar::Script_Devanagari: return u"Devanagari script"_s;
    case QChar::Script_Bengali: return u"Bengali script"_s;
    case QChar::Script_Tamil: return u"Tamil script"_s;
    case QChar::Script_Hebrew: return u"Hebrew script"_s;
    case QChar::Script_Thai: return u"Thai script"_s;
    case QChar::Script_Armenian: return u"Armenian script"_s;
    case QChar::Script_Georgian: return u"Georgian script"_s;
    case QChar::Script_Ethiopic: return u"Ethiopic script"_s;
    default: return {};
    }
}

bool isMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing;
}

class Fitter
{
public:
    Fitter(const QString& text, const std::function<bool(char32_t)>& carries)
        : m_text(text.normalized(QString::NormalizationForm_C).toUcs4())
        , m_carries(carries)
    { }

    Fitted run()
    {
        for (m_at = 0; m_at < m_text.size(); ++m_at) {
            if (!fitOne(m_text[m_at]))
                return {QString(), refusal(m_text[m_at])};
        }
        return {m_out, QString()};
    }

private:
    bool fitOne(char32_t c)
    {
        if (take(c))
            return true;
        if (QChar::isSpace(c) || QChar::category(c) == QChar::Other_Control)
            return takeAll(u" "_s);
        // Invisible formatting (soft hyphens, joiners) and marks left over after composing carry nothing to read.
        if (QChar::category(c) == QChar::Other_Format || isMark(c))
            return true;
        const QString latin = romanised(c);
        if (!latin.isNull())
            return takeAll(latin);
        QString bare;
        for (const char32_t part : QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD).toUcs4()) {
            if (!isMark(part))
                bare += QString::fromUcs4(&part, 1);
        }
        if (bare != QString::fromUcs4(&c, 1) && !bare.isEmpty() && takeAll(bare))
            return true;
        if (QChar::isDigit(c) && QChar::digitValue(c) >= 0 && take(U'0' + char32_t(QChar::digitValue(c))))
            return true;
        if (const char* stand = standIn(c); stand && takeAll(QString::fromLatin1(stand)))
            return true;
        if (QChar::isPunct(c))
            return dropPunctuation(c);
        return false;
    }

    // Punctuation the mode lacks goes; apostrophes close up their word (DONT), other marks leave a space.
    bool dropPunctuation(char32_t c)
    {
        static const std::u32string apostrophes = U"'’‘ʼ";
        if (apostrophes.find(c) != std::u32string::npos)
            return true;
        const char32_t next = at(m_at + 1);
        if (m_out.isEmpty() || m_out.back().isSpace() || next == 0 || QChar::isSpace(next) || QChar::isPunct(next))
            return true;
        return takeAll(u" "_s);
    }

    // Appends c as it is or in its other case; false when the mode carries neither.
    bool take(char32_t c)
    {
        for (const char32_t form : {c, QChar::toUpper(c), QChar::toLower(c)}) {
            if (m_carries(form)) {
                m_out += QString::fromUcs4(&form, 1);
                return true;
            }
        }
        return false;
    }

    bool takeAll(const QString& text)
    {
        const qsizetype before = m_out.size();
        for (const char32_t c : text.toUcs4()) {
            if (!take(c)) {
                m_out.truncate(before);
                return false;
            }
        }
        return true;
    }

    char32_t at(qsizetype i) const { return i >= 0 && i < m_text.size() ? m_text[i] : 0; }

    // The lower-case Greek letter at i without its accents; 0 for anything else.
    char32_t greekBase(qsizetype i) const
    {
        const char32_t c = at(i);
        if (QChar::script(c) != QChar::Script_Greek || !QChar::isLetter(c))
            return 0;
        const char32_t lower = QChar::toLower(c);
        return QString::fromUcs4(&lower, 1).normalized(QString::NormalizationForm_D).toUcs4().value(0);
    }

    bool hasDiaeresis(qsizetype i) const
    {
        const char32_t c = at(i);
        return QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_D).contains(QChar(0x0308));
    }

    QString greek()
    {
        const char32_t base = greekBase(m_at);
        const char32_t next = greekBase(m_at + 1);
        if (base == U'γ' && (next == U'γ' || next == U'ξ' || next == U'χ'))
            return u"n"_s;
        if (base == U'υ' && !hasDiaeresis(m_at)) {
            const char32_t before = greekBase(m_at - 1);
            if (before == U'ο')
                return u"u"_s;
            if (before == U'α' || before == U'ε' || before == U'η') {
                static const std::u32string voiceless = U"θκξπσςτφχψ";
                return next == 0 || voiceless.find(next) != std::u32string::npos ? u"f"_s : u"v"_s;
            }
        }
        const char* latin = greekLatin(base);
        return latin ? QString::fromLatin1(latin) : QString();
    }

    // The Latin spelling of a Cyrillic or Greek letter in the case of its surroundings; null for other characters.
    QString romanised(char32_t c)
    {
        QString latin;
        if (QChar::script(c) == QChar::Script_Cyrillic) {
            const char32_t lower = QChar::toLower(c);
            const char* spelled = cyrillicLatin(lower);
            if (!spelled) {
                const char32_t base
                    = QString::fromUcs4(&lower, 1).normalized(QString::NormalizationForm_D).toUcs4().value(0);
                spelled = cyrillicLatin(base);
            }
            if (spelled)
                latin = QString::fromLatin1(spelled);
        } else if (QChar::script(c) == QChar::Script_Greek) {
            latin = greek();
        }
        if (latin.isNull() || !QChar::isUpper(c))
            return latin;
        // A capital in a word of capitals stays all capitals (ЖУК: ZHUK), else only its first letter (Жук: Zhuk).
        const char32_t next = at(m_at + 1);
        const bool shout = QChar::isLetter(next) ? QChar::isUpper(next) : QChar::isUpper(at(m_at - 1));
        if (shout || latin.size() < 2)
            return latin.toUpper();
        return latin.left(1).toUpper() + latin.mid(1);
    }

    static QString refusal(char32_t c)
    {
        const QString shown = QString::fromUcs4(&c, 1);
        const QString script = scriptName(c);
        if (!script.isEmpty())
            return u"%1 cannot be sent in this mode (“%2”)"_s.arg(script, shown);
        return u"“%1” (U+%2) cannot be sent in this mode"_s.arg(
            shown, QString::number(uint(c), 16).toUpper().rightJustified(4, u'0'));
    }

    const QList<uint> m_text;
    const std::function<bool(char32_t)>& m_carries;
    qsizetype m_at = 0;
    QString m_out;
};

} // namespace

Fitted fitText(const QString& text, const std::function<bool(char32_t)>& carries)
{
    return Fitter(text, carries).run();
}

} // namespace onair
