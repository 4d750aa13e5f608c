#include "Transcript.h"

#include <QDir>

Transcript::Transcript(QString folder, std::function<QDate()> today)
    : m_folder(std::move(folder))
    , m_today(std::move(today))
{ }

QString Transcript::defaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // XDG_STATE_HOME counts only as an absolute path; anything else is ignored.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/verbolt");
}

bool Transcript::append(const QString& text)
{
    const QDate day = m_today();
    if (day != m_day || !m_file.isOpen()) {
        m_file.close();
        m_day = day;
        m_file.setFileName(m_folder + u'/' + day.toString(Qt::ISODate) + QStringLiteral(".txt"));
        if (!QDir().mkpath(m_folder)) {
            m_error = QStringLiteral("cannot create the folder %1").arg(m_folder);
            return false;
        }
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            m_error = m_file.errorString();
            return false;
        }
    }
    const QByteArray bytes = text.toUtf8();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    return true;
}
