#pragma once

#include <QString>

/// Tells the partner's text from the echo of what this station transmitted: fldigi's receive pane shows both.
class EchoFilter
{
public:
    /// What was just handed to fldigi to send: its echo is expected next in the receive pane.
    void expect(const QString& sent);

    /// The part of new receive-pane text that the partner sent. transmitting: fldigi was transmitting when the
    /// text was read, so all of it is this station's.
    QString partnerText(const QString& chars, bool transmitting);

    /// Whether an echo is still expected.
    bool expecting() const { return m_at < m_expected.size(); }

private:
    QString m_expected;
    qsizetype m_at = 0;
};
