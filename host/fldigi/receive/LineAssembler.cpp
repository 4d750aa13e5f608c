#include "LineAssembler.h"

LineAssembler::LineAssembler(std::chrono::milliseconds pause)
    : m_pause(pause)
{ }

QStringList LineAssembler::add(const QString& chars, std::chrono::milliseconds now)
{
    QStringList lines;
    for (const QChar c : chars) {
        if (c == u'\n' || c == u'\r') {
            if (const QString line = m_line.trimmed(); !line.isEmpty())
                lines.push_back(line);
            m_line.clear();
        } else if (c == u'\t') {
            m_line += u' ';
        } else if (c.unicode() >= 0x20 && c.unicode() != 0x7f) {
            // Other control characters are the decoder's noise.
            m_line += c;
        }
    }
    if (!chars.isEmpty())
        m_last = now;
    return lines;
}

std::optional<QString> LineAssembler::idle(std::chrono::milliseconds now)
{
    if (m_line.isEmpty() || now - m_last < m_pause)
        return std::nullopt;
    const QString line = m_line.trimmed();
    m_line.clear();
    if (line.isEmpty())
        return std::nullopt;
    return line;
}
