#include "text/TextGuard.h"

#include <QRegularExpression>

namespace service {

namespace {

constexpr char16_t kKeepOpen = 0xE000;
constexpr char16_t kKeepClose = 0xE001;
// While an answer is tidied, each restored word stands as one private-use character of its own.
constexpr char16_t kSlotBase = 0xE100;
constexpr qsizetype kMaxSlots = 0x700;

QString escapeMarkup(const QString& text)
{
    QString out = text;
    out.replace(u'&', QStringLiteral("&amp;"));
    out.replace(u'<', QStringLiteral("&lt;"));
    out.replace(u'>', QStringLiteral("&gt;"));
    return out;
}

QString decodeEntities(const QString& text)
{
    static const QRegularExpression entity(QStringLiteral("&(#[0-9]+|#[xX][0-9a-fA-F]+|amp|lt|gt|quot|apos|nbsp);"));
    QString out;
    qsizetype at = 0;
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        out += QStringView(text).mid(at, match.capturedStart() - at);
        const QString name = match.captured(1);
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
    out += QStringView(text).mid(at);
    return out;
}

// Apertium marks words it does not know (*), cannot generate (#) or cannot translate (@).
QString stripEngineMarks(const QString& text, const QString& input)
{
    QString out = text;
    for (const QChar mark : {u'*', u'#', u'@'}) {
        const QRegularExpression marked(
            QStringLiteral("(?<![\\p{L}\\p{N}_*#@])%1(?=[\\p{L}\\p{N}])").arg(QRegularExpression::escape(mark)),
            QRegularExpression::UseUnicodePropertiesOption);
        if (!marked.match(input).hasMatch())
            out.remove(marked);
    }
    return out;
}

QString slot(qsizetype index)
{
    return QString(QChar(char16_t(kSlotBase + index)));
}

// A word the engine changed in a way that still shows where it goes: other letter case, spaces put in
// ("IC -7300").
QRegularExpression looseWord(const QString& word)
{
    QString pattern;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i].isSpace()) {
            pattern += QStringLiteral("\\s*");
            continue;
        }
        if (!pattern.isEmpty() && !pattern.endsWith(QLatin1String("\\s*")))
            pattern += QStringLiteral("\\s?");
        pattern += QRegularExpression::escape(QString(word[i]));
    }
    return QRegularExpression(QStringLiteral("(?<![\\p{L}\\p{N}])%1(?![\\p{L}\\p{N}])").arg(pattern),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
}

} // namespace

TextGuard::TextGuard(QString text, QList<ProtectedSpan> spans, KeepForm form)
    : m_text(std::move(text))
    , m_spans(std::move(spans))
    , m_form(form)
{
    if (m_spans.size() > kMaxSlots)
        m_spans.clear();
    const bool markup = m_form == KeepForm::XmlIgnoredTags || m_form == KeepForm::HtmlNoTranslate;
    qsizetype at = 0;
    for (qsizetype i = 0; i < m_spans.size(); ++i) {
        const ProtectedSpan& span = m_spans[i];
        const QString before = m_text.mid(at, span.start - at);
        m_engineText += markup ? escapeMarkup(before) : before;
        switch (m_form) {
        case KeepForm::Placeholders: m_engineText += QStringLiteral("{%1}").arg(i + 1); break;
        case KeepForm::XmlIgnoredTags:
            m_engineText += QStringLiteral("<x id=\"%1\">%2</x>").arg(i + 1).arg(escapeMarkup(span.text));
            break;
        case KeepForm::HtmlNoTranslate:
            m_engineText += QStringLiteral("<span translate=\"no\">%1</span>").arg(escapeMarkup(span.text));
            break;
        case KeepForm::PassThrough: m_engineText += kKeepOpen + span.text + kKeepClose; break;
        }
        at = span.end();
    }
    const QString rest = m_text.mid(at);
    m_engineText += markup ? escapeMarkup(rest) : rest;
}

TextGuard::Restored TextGuard::restore(const QString& answer, const QString& target) const
{
    // Where each word's marker came back: the answer is cut into plain pieces and markers.
    QRegularExpression marker;
    switch (m_form) {
    case KeepForm::Placeholders: marker.setPattern(QStringLiteral("\\{\\s*([0-9]+)\\s*\\}")); break;
    case KeepForm::XmlIgnoredTags:
        marker.setPattern(QStringLiteral("<x\\s+id\\s*=\\s*\"([0-9]+)\"\\s*(?:/>|>(.*?)</x\\s*>)"));
        break;
    case KeepForm::HtmlNoTranslate:
        marker.setPattern(QStringLiteral("<span\\s+translate\\s*=\\s*\"no\"\\s*>()(.*?)</span\\s*>"));
        break;
    case KeepForm::PassThrough:
        marker.setPattern(QStringLiteral("%1()(.*?)%2").arg(QChar(kKeepOpen), QChar(kKeepClose)));
        break;
    }
    marker.setPatternOptions(QRegularExpression::DotMatchesEverythingOption);
    const bool markup = m_form == KeepForm::XmlIgnoredTags || m_form == KeepForm::HtmlNoTranslate;
    const auto plain = [&](const QString& piece) {
        QString text = markup ? decodeEntities(piece) : piece;
        if (m_form == KeepForm::PassThrough)
            text = stripEngineMarks(text, m_text);
        // Markers of our own the engine half-kept.
        text.remove(QChar(kKeepOpen));
        text.remove(QChar(kKeepClose));
        return text;
    };

    QList<int> seen(m_spans.size(), 0);
    QString slotted;
    qsizetype at = 0;
    qsizetype order = 0;
    for (auto it = marker.globalMatch(answer); it.hasNext();) {
        const auto match = it.next();
        slotted += plain(answer.mid(at, match.capturedStart() - at));
        at = match.capturedEnd();
        qsizetype index = -1;
        if (m_form == KeepForm::Placeholders || m_form == KeepForm::XmlIgnoredTags) {
            index = match.captured(1).toInt() - 1;
        } else {
            // By what it holds, else by order.
            const QString inside = markup ? decodeEntities(match.captured(2)) : match.captured(2);
            for (qsizetype i = 0; i < m_spans.size() && index < 0; ++i) {
                if (!seen[i] && m_spans[i].text == inside)
                    index = i;
            }
            if (index < 0 && order < m_spans.size() && !seen[order])
                index = order;
        }
        ++order;
        if (index < 0 || index >= m_spans.size()) {
            slotted += plain(match.captured(0));
            continue;
        }
        ++seen[index];
        slotted += slot(index);
    }
    slotted += plain(answer.mid(at));

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
        qsizetype found = slotted.indexOf(word);
        qsizetype length = word.size();
        if (found < 0) {
            const auto loose = looseWord(word).match(slotted);
            if (loose.hasMatch()) {
                found = loose.capturedStart();
                length = loose.capturedLength();
            }
        }
        if (found < 0) {
            result.lost = word;
            return result;
        }
        slotted.replace(found, length, slot(i));
    }

    QString input;
    at = 0;
    for (qsizetype i = 0; i < m_spans.size(); ++i) {
        input += QStringView(m_text).mid(at, m_spans[i].start - at);
        input += slot(i);
        at = m_spans[i].end();
    }
    input += QStringView(m_text).mid(at);

    QString text = tidy(slotted, input, target);
    for (qsizetype i = m_spans.size() - 1; i >= 0; --i)
        text.replace(slot(i), m_spans[i].text);
    result.ok = true;
    result.text = text;
    return result;
}

QString TextGuard::tidy(QString answer, const QString& input, const QString& target)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*"));
    static const QRegularExpression trailing(QStringLiteral("\\s*$"));
    const QString inputLead = leading.match(input).captured(0);
    const QString inputTrail = input.trimmed().isEmpty() ? QString() : trailing.match(input).captured(0);
    answer = inputLead + answer.trimmed() + inputTrail;

    if (!input.contains(QLatin1String("  "))) {
        static const QRegularExpression doubled(QStringLiteral("[ \\t\\x{00A0}]{2,}"));
        answer.replace(doubled, QStringLiteral(" "));
    }
    const bool french = target.startsWith(QLatin1String("fr"), Qt::CaseInsensitive);
    const QString closing = french ? QStringLiteral(".,)\\]}…、。") : QStringLiteral(".,;:!?)\\]}»…、。");
    const QRegularExpression spaceBefore(QStringLiteral("[ \\t](?=[%1])").arg(closing));
    if (!spaceBefore.match(input).hasMatch())
        answer.remove(spaceBefore);
    const QString opening = french ? QStringLiteral("(\\[{¿¡") : QStringLiteral("(\\[{¿¡«");
    const QRegularExpression spaceAfter(QStringLiteral("(?<=[%1])[ \\t]").arg(opening));
    if (!spaceAfter.match(input).hasMatch())
        answer.remove(spaceAfter);
    return answer;
}

} // namespace service
