#include "text/TextGuard.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace service {

using namespace Qt::StringLiterals;

namespace {

constexpr char16_t kKeepOpen = 0xE000;
constexpr char16_t kKeepClose = 0xE001;
// While an answer is tidied, every restored word stands as this one private-use character; the words go back in the
// order their characters stand in.
constexpr char16_t kSlot = 0xE100;

bool isPrivateUse(QChar c)
{
    return c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF;
}

bool isGuardMark(QChar c)
{
    return c == QChar(kKeepOpen) || c == QChar(kKeepClose) || c == QChar(kSlot);
}

const QRegularExpression& markerPattern(KeepForm form)
{
    static const QRegularExpression placeholder(u"\\{\\s*([0-9]+)\\s*\\}"_s);
    static const QRegularExpression xml(
        u"<x\\s+id\\s*=\\s*\"([0-9]+)\"\\s*(?:/>|>(.*?)</x\\s*>)"_s, QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression html(
        u"<span\\s+translate\\s*=\\s*\"no\"\\s*>()(.*?)</span\\s*>"_s, QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression passThrough(u"\\x{E000}([0-9]+)\\x{E001}"_s);
    switch (form) {
    case KeepForm::Placeholders: return placeholder;
    case KeepForm::XmlIgnoredTags: return xml;
    case KeepForm::HtmlNoTranslate: return html;
    case KeepForm::PassThrough: break;
    }
    return passThrough;
}

QString escapeMarkup(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            out += u"&amp;"_s;
        else if (c == u'<')
            out += u"&lt;"_s;
        else if (c == u'>')
            out += u"&gt;"_s;
        else
            out += c;
    }
    return out;
}

QString decodeEntities(QStringView text)
{
    static const QRegularExpression entity(u"&(#[0-9]+|#[xX][0-9a-fA-F]+|amp|lt|gt|quot|apos|nbsp);"_s);
    if (!text.contains(u'&'))
        return text.toString();
    QString out;
    qsizetype at = 0;
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        out += text.mid(at, match.capturedStart() - at);
        const QStringView name = match.capturedView(1);
        if (name.startsWith(u'#')) {
            bool ok = false;
            const uint code = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive) ? name.mid(2).toUInt(&ok, 16)
                                                                                        : name.mid(1).toUInt(&ok);
            if (ok && code > 0 && code <= 0x10FFFF) {
                const char32_t c = code;
                out += QString::fromUcs4(&c, 1);
            }
        } else {
            out += name == u"amp" ? u'&'
                : name == u"lt"   ? u'<'
                : name == u"gt"   ? u'>'
                : name == u"quot" ? u'"'
                : name == u"apos" ? u'\''
                                  : u' ';
        }
        at = match.capturedEnd();
    }
    out += text.mid(at);
    return out;
}

// Apertium marks words it does not know (*), cannot generate (#) or cannot translate (@): a mark at the start of a
// word goes, unless the input has such a mark itself. A restored word counts as a word, so "EA4ABC@home" keeps its @.
QString stripEngineMarks(const QString& text, const QString& input)
{
    static const QRegularExpression marked(
        u"(?<![\\p{L}\\p{N}_*#@\\x{E100}])[*#@](?=[\\p{L}\\p{N}])"_s, QRegularExpression::UseUnicodePropertiesOption);
    QString kept;
    for (auto it = marked.globalMatch(input); it.hasNext();)
        kept += it.next().captured(0);
    QString out;
    qsizetype at = 0;
    for (auto it = marked.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        if (kept.contains(text[match.capturedStart()]))
            continue;
        out += QStringView(text).mid(at, match.capturedStart() - at);
        at = match.capturedEnd();
    }
    if (at == 0)
        return text;
    out += QStringView(text).mid(at);
    return out;
}

// A word the engine changed in a way that still shows where it goes: other letter case, spaces put in
// ("IC -7300").
QRegularExpression looseWord(const QString& word)
{
    QString pattern;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i].isSpace()) {
            pattern += u"\\s*"_s;
            continue;
        }
        if (!pattern.isEmpty() && !pattern.endsWith(QLatin1String("\\s*")))
            pattern += u"\\s?"_s;
        pattern += QRegularExpression::escape(QString(word[i]));
    }
    return QRegularExpression(u"(?<![\\p{L}\\p{N}])%1(?![\\p{L}\\p{N}])"_s.arg(pattern),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
}

// What the text holds that the engine's keep form cannot carry as text, as spans of their own in the gaps between
// the protected words: the guard's private-use markers (any private-use character), placeholders a partner typed,
// and for Apertium the caret (a caret with no word after it loses the stream's end mark in lrx-proc).
QList<ProtectedSpan> withSymbols(const QString& text, const QList<ProtectedSpan>& spans, KeepForm form)
{
    QList<ProtectedSpan> symbols;
    const auto scanGap = [&](qsizetype from, qsizetype to) {
        const QStringView gap = QStringView(text).mid(from, to - from);
        if (form == KeepForm::Placeholders && gap.contains(u'{')) {
            for (auto it = markerPattern(form).globalMatch(gap); it.hasNext();) {
                const auto match = it.next();
                symbols.append(
                    {from + match.capturedStart(), match.capturedLength(), WordKind::Symbol, match.captured(0)});
            }
        }
        const auto isSymbol
            = [form](QChar c) { return isPrivateUse(c) || (form == KeepForm::PassThrough && c == u'^'); };
        for (qsizetype i = from; i < to; ++i) {
            if (!isSymbol(text[i]))
                continue;
            qsizetype end = i + 1;
            while (end < to && isSymbol(text[end]))
                ++end;
            symbols.append({i, end - i, WordKind::Symbol, text.mid(i, end - i)});
            i = end - 1;
        }
    };
    qsizetype at = 0;
    for (const ProtectedSpan& span : spans) {
        scanGap(at, span.start);
        at = span.end();
    }
    scanGap(at, text.size());
    if (symbols.isEmpty())
        return spans;
    // A placeholder holds no private-use character or caret: the symbols never overlap one another.
    QList<ProtectedSpan> all = spans + symbols;
    std::sort(all.begin(), all.end(), [](const ProtectedSpan& a, const ProtectedSpan& b) { return a.start < b.start; });
    return all;
}

// Where sentences end: after . ! ? … followed by whitespace, and at line breaks.
QList<QStringView> sentencesOf(QStringView text)
{
    QList<QStringView> sentences;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool end = c == u'\n'
            || ((c == u'.' || c == u'!' || c == u'?' || c == u'…') && (i + 1 == text.size() || text[i + 1].isSpace()));
        if (end) {
            sentences.append(text.mid(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < text.size())
        sentences.append(text.mid(start));
    return sentences;
}

struct Word {
    qsizetype start;
    QStringView text;
    qsizetype end() const { return start + text.size(); }
};

// The first words of a sentence (letters and digits, or a restored word's character), with where each starts.
QList<Word> firstWords(QStringView sentence, qsizetype count)
{
    QList<Word> words;
    qsizetype i = 0;
    while (i < sentence.size() && words.size() < count) {
        const qsizetype start = i;
        if (sentence[i] == QChar(kSlot)) {
            words.append({start, sentence.mid(start, 1)});
            ++i;
            continue;
        }
        while (i < sentence.size()
            && (sentence[i].isLetterOrNumber() || (i > start && sentence[i].isMark())
                || (i > start && sentence[i] == u'\'' && i + 1 < sentence.size() && sentence[i + 1].isLetter()))) {
            ++i;
        }
        if (i > start)
            words.append({start, sentence.mid(start, i - start)});
        else
            ++i;
    }
    return words;
}

// Whether nothing that parts clauses stands between two words.
bool joined(QStringView sentence, const Word& a, const Word& b)
{
    for (qsizetype i = a.end(); i < b.start; ++i) {
        if (QStringView(u".,;:!?…").contains(sentence[i]))
            return false;
    }
    return true;
}

// Greetings and thanks that Apertium translates as an interjection of its own. Lower case, one or two words.
const QSet<QString>& greetings()
{
    static const QSet<QString> set = {u"hello"_s, u"hi"_s, u"hey"_s, u"thanks"_s, u"thank you"_s, u"good morning"_s,
        u"good afternoon"_s, u"good evening"_s, u"good night"_s, u"good day"_s, u"goodbye"_s, u"bye"_s, u"welcome"_s,
        u"greetings"_s, u"cheers"_s, u"hola"_s, u"gracias"_s, u"buenos días"_s, u"buenas tardes"_s, u"buenas noches"_s,
        u"buenas"_s, u"adiós"_s, u"saludos"_s, u"muchas gracias"_s, u"bonjour"_s, u"bonsoir"_s, u"salut"_s, u"merci"_s,
        u"bonne nuit"_s, u"au revoir"_s, u"olá"_s, u"oi"_s, u"obrigado"_s, u"obrigada"_s, u"bom dia"_s, u"boa tarde"_s,
        u"boa noite"_s, u"ciao"_s, u"salve"_s, u"grazie"_s, u"buongiorno"_s, u"buonasera"_s, u"buonanotte"_s, u"bună"_s,
        u"bună ziua"_s, u"bună seara"_s, u"mulțumesc"_s, u"mersi"_s, u"gràcies"_s, u"bon dia"_s, u"bona tarda"_s,
        u"bona nit"_s, u"hej"_s, u"hei"_s, u"hallo"_s, u"tack"_s, u"tak"_s, u"takk"_s, u"god morgon"_s, u"god morgen"_s,
        u"god dag"_s, u"god kväll"_s, u"god aften"_s, u"god kveld"_s, u"halló"_s, u"góðan daginn"_s, u"gott kvöld"_s,
        u"здравей"_s, u"здравейте"_s, u"благодаря"_s, u"здраво"_s, u"благодарам"_s};
    return set;
}

// How many of a sentence's first words open it the way after which Apertium starts a new sentence of its own:
// protected words, or a greeting of the list. 0 for any other opening.
qsizetype openerLength(QStringView sentence, const QList<Word>& words)
{
    qsizetype restored = 0;
    while (restored < words.size() && words[restored].text == QStringView(u"\uE100"))
        ++restored;
    if (restored > 0)
        return restored;
    for (qsizetype length = std::min<qsizetype>(2, words.size()); length >= 1; --length) {
        const QStringView phrase = sentence.mid(words[0].start, words[length - 1].end() - words[0].start);
        if (greetings().contains(phrase.toString().toLower()))
            return length;
    }
    return 0;
}

// A word in capitals at its first letter only, followed by lower case ("Mi", "Allí"; not "I", "I'm", "EA4ABC").
bool isCapitalised(QStringView word)
{
    if (word.size() < 2 || !word[0].isUpper() || !word[1].isLower())
        return false;
    return std::none_of(word.begin() + 2, word.end(), [](QChar c) { return c.isUpper(); });
}

// Apertium starts a sentence of its own after a greeting or a protected word that opens one, and capitalises the
// word that follows: "Hello my friend" -> "Hola Mi amigo", "Hi there EA4ABC" -> "Hola Allí EA4ABC", "73 my friend"
// -> "73 Mi amigo". Taken back only there: the source sentence opens so and goes on, with no punctuation between,
// with a word in lower case (or English "I"); the answer sentence opens so too, and the word right after its opener
// has a capital the source does not show anywhere. Languages that capitalise nouns keep every capital.
void lowerAddedCapitals(QString& answer, const QString& input, const QString& target)
{
    const QString language = target.section(u'-', 0, 0).section(u'_', 0, 0).toLower();
    if (language == u"de" || language == u"lb")
        return;
    const QList<QStringView> sources = sentencesOf(input);
    const QList<QStringView> answers = sentencesOf(answer);
    if (sources.size() != answers.size())
        return;
    constexpr qsizetype kWords = 8;
    QList<qsizetype> lowered;
    qsizetype offset = 0;
    for (qsizetype s = 0; s < sources.size(); offset += answers[s].size(), ++s) {
        const QList<Word> source = firstWords(sources[s], kWords);
        const qsizetype opener = openerLength(sources[s], source);
        if (opener == 0 || opener >= source.size() || !joined(sources[s], source[opener - 1], source[opener]))
            continue;
        const QStringView follower = source[opener].text;
        if (!follower[0].isLower() && follower != u"I" && !follower.startsWith(u"I'"))
            continue;
        const QList<Word> words = firstWords(answers[s], kWords);
        const qsizetype answerOpener = openerLength(answers[s], words);
        if (answerOpener == 0 || answerOpener >= words.size()
            || !joined(answers[s], words[answerOpener - 1], words[answerOpener]))
            continue;
        const Word& word = words[answerOpener];
        if (isCapitalised(word.text) && !input.contains(word.text))
            lowered.append(offset + word.start);
    }
    for (const qsizetype at : std::as_const(lowered))
        answer[at] = answer[at].toLower();
}

} // namespace

TextGuard::TextGuard(QString text, QList<ProtectedSpan> spans, KeepForm form)
    : m_text(std::move(text))
    , m_spans(withSymbols(m_text, spans, form))
    , m_form(form)
{
    const bool markup = m_form == KeepForm::XmlIgnoredTags || m_form == KeepForm::HtmlNoTranslate;
    m_engineText.reserve(m_text.size() + m_spans.size() * 8);
    qsizetype at = 0;
    for (qsizetype i = 0; i < m_spans.size(); ++i) {
        const ProtectedSpan& span = m_spans[i];
        const QStringView before = QStringView(m_text).mid(at, span.start - at);
        if (markup)
            m_engineText += escapeMarkup(before);
        else
            m_engineText += before;
        const QString number = QString::number(i + 1);
        switch (m_form) {
        case KeepForm::Placeholders: m_engineText += u'{' + number + u'}'; break;
        case KeepForm::XmlIgnoredTags:
            m_engineText += u"<x id=\""_s + number + u"\">"_s + escapeMarkup(span.text) + u"</x>"_s;
            break;
        case KeepForm::HtmlNoTranslate:
            m_engineText += u"<span translate=\"no\">"_s + escapeMarkup(span.text) + u"</span>"_s;
            break;
        // Only the word's number goes through: the stream never holds what a word might hold.
        case KeepForm::PassThrough: m_engineText += QChar(kKeepOpen) + number + QChar(kKeepClose); break;
        }
        at = span.end();
    }
    const QStringView rest = QStringView(m_text).mid(at);
    if (markup)
        m_engineText += escapeMarkup(rest);
    else
        m_engineText += rest;
}

TextGuard::Restored TextGuard::restore(const QString& answer, const QString& target) const
{
    // Where each word's marker came back: the answer is cut into plain pieces and markers.
    const QRegularExpression& marker = markerPattern(m_form);
    const bool markup = m_form == KeepForm::XmlIgnoredTags || m_form == KeepForm::HtmlNoTranslate;
    QString slotted;
    slotted.reserve(answer.size());
    const auto addPlain = [&](QStringView piece) {
        const QString text = markup ? decodeEntities(piece) : piece.toString();
        // Markers of our own the engine half-kept: every character of the text's own that looks like one went as
        // a protected word.
        for (const QChar c : text) {
            if (!isGuardMark(c))
                slotted += c;
        }
    };

    QList<int> seen(m_spans.size(), 0);
    QList<qsizetype> order; // the span of each slot character, in order
    order.reserve(m_spans.size());
    // For HTML, by what the marker holds (the first unseen span with that text), else by order.
    QHash<QString, QList<qsizetype>> byText;
    QHash<QString, qsizetype> byTextNext;
    if (m_form == KeepForm::HtmlNoTranslate) {
        for (qsizetype i = 0; i < m_spans.size(); ++i)
            byText[m_spans[i].text].append(i);
    }
    qsizetype at = 0;
    qsizetype count = 0;
    for (auto it = marker.globalMatch(answer); it.hasNext();) {
        const auto match = it.next();
        addPlain(QStringView(answer).mid(at, match.capturedStart() - at));
        at = match.capturedEnd();
        qsizetype index = -1;
        if (m_form != KeepForm::HtmlNoTranslate) {
            bool ok = false;
            index = match.capturedView(1).toLongLong(&ok) - 1;
            if (!ok)
                index = -1;
        } else {
            const QString inside = decodeEntities(match.capturedView(2));
            const auto found = byText.constFind(inside);
            if (found != byText.constEnd()) {
                qsizetype& next = byTextNext[inside];
                while (next < found->size() && seen[found->at(next)])
                    ++next;
                if (next < found->size())
                    index = found->at(next);
            }
            if (index < 0 && count < m_spans.size() && !seen[count])
                index = count;
        }
        ++count;
        if (index < 0 || index >= m_spans.size()) {
            addPlain(match.capturedView(0));
            continue;
        }
        ++seen[index];
        slotted += QChar(kSlot);
        order.append(index);
    }
    addPlain(QStringView(answer).mid(at));

    Restored result;
    for (qsizetype i = 0; i < m_spans.size(); ++i) {
        if (seen[i] > 1) {
            result.lost = m_spans[i].text;
            return result;
        }
        if (seen[i] == 1)
            continue;
        // The marker is gone; the word itself may still be there, as written or recognisably changed.
        const QString& word = m_spans[i].text;
        qsizetype found = -1;
        qsizetype length = word.size();
        if (!word.contains(QChar(kSlot))) {
            found = slotted.indexOf(word);
            if (found < 0) {
                const auto loose = looseWord(word).match(slotted);
                if (loose.hasMatch()) {
                    found = loose.capturedStart();
                    length = loose.capturedLength();
                }
            }
        }
        if (found < 0) {
            result.lost = word;
            return result;
        }
        order.insert(QStringView(slotted).left(found).count(QChar(kSlot)), i);
        slotted.replace(found, length, QChar(kSlot));
    }

    QString input;
    input.reserve(m_text.size());
    at = 0;
    for (const ProtectedSpan& span : m_spans) {
        input += QStringView(m_text).mid(at, span.start - at);
        input += QChar(kSlot);
        at = span.end();
    }
    input += QStringView(m_text).mid(at);

    if (m_form == KeepForm::PassThrough)
        slotted = stripEngineMarks(slotted, input);
    QString tidied = tidy(slotted, input, target);
    if (m_form == KeepForm::PassThrough)
        lowerAddedCapitals(tidied, input, target);

    QString text;
    text.reserve(tidied.size() + m_text.size());
    qsizetype next = 0;
    for (const QChar c : std::as_const(tidied)) {
        if (c != QChar(kSlot))
            text += c;
        else if (next < order.size())
            text += m_spans[order[next++]].text;
    }
    result.ok = true;
    result.text = text;
    return result;
}

QString TextGuard::tidy(QString answer, const QString& input, const QString& target)
{
    // Leading and trailing whitespace as the input has it; whitespace is what QString::trimmed() takes (U+3000 too).
    qsizetype lead = 0;
    while (lead < input.size() && input[lead].isSpace())
        ++lead;
    qsizetype trail = input.size();
    while (trail > lead && input[trail - 1].isSpace())
        --trail;
    answer = input.left(lead) + answer.trimmed() + (trail > lead ? input.mid(trail) : QString());

    // A run of blanks the input does not hold becomes one space.
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\u00A0'; };
    QSet<QStringView> inputRuns;
    for (qsizetype i = 0; i < input.size(); ++i) {
        qsizetype end = i;
        while (end < input.size() && isBlank(input[end]))
            ++end;
        if (end - i >= 2)
            inputRuns.insert(QStringView(input).mid(i, end - i));
        i = end;
    }
    QString collapsed;
    collapsed.reserve(answer.size());
    for (qsizetype i = 0; i < answer.size();) {
        qsizetype end = i;
        while (end < answer.size() && isBlank(answer[end]))
            ++end;
        if (end - i >= 2 && !inputRuns.contains(QStringView(answer).mid(i, end - i))) {
            collapsed += u' ';
            i = end;
        } else if (end > i) {
            collapsed += QStringView(answer).mid(i, end - i);
            i = end;
        } else {
            collapsed += answer[i++];
        }
    }
    answer = std::move(collapsed);

    const bool french = target.startsWith(QLatin1String("fr"), Qt::CaseInsensitive);
    static const QRegularExpression spaceBefore(u"[ \\t](?=[.,;:!?)\\]}»…、。])"_s);
    static const QRegularExpression spaceBeforeFrench(u"[ \\t](?=[.,)\\]}…、。])"_s);
    static const QRegularExpression spaceAfter(u"(?<=[(\\[{¿¡«])[ \\t]"_s);
    static const QRegularExpression spaceAfterFrench(u"(?<=[(\\[{¿¡])[ \\t]"_s);
    const QRegularExpression& before = french ? spaceBeforeFrench : spaceBefore;
    if (!before.match(input).hasMatch())
        answer.remove(before);
    const QRegularExpression& after = french ? spaceAfterFrench : spaceAfter;
    if (!after.match(input).hasMatch())
        answer.remove(after);
    return answer;
}

} // namespace service
