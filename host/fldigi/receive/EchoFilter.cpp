#include "EchoFilter.h"

void EchoFilter::expect(const QString& sent)
{
    // Only what is still expected matters; whitespace is not compared, since modes echo line ends their own way.
    QString expected = m_expected.mid(m_at);
    for (const QChar c : sent) {
        if (!c.isSpace())
            expected += c.toCaseFolded();
    }
    m_expected = expected;
    m_at = 0;
}

QString EchoFilter::partnerText(const QString& chars, bool transmitting)
{
    QString partner;
    for (const QChar c : chars) {
        if (expecting()) {
            if (c.isSpace())
                continue;
            if (c.toCaseFolded() == m_expected.at(m_at)) {
                ++m_at;
                continue;
            }
            if (transmitting)
                continue;
            // Something else after the echo's start: the echo is over (or never came), and this is the partner's.
            m_expected.clear();
            m_at = 0;
        } else if (transmitting) {
            continue;
        }
        partner += c;
    }
    if (!expecting()) {
        m_expected.clear();
        m_at = 0;
    }
    return partner;
}
