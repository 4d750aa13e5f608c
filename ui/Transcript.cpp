#include "Transcript.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The conversation is the owner's alone: the folder 0700, its files 0600.
constexpr QFile::Permissions kFolderMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions kFileMode = QFile::ReadOwner | QFile::WriteOwner;

} // namespace

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
        if (!openPrivately())
            return false;
    }
    const QByteArray bytes = text.toUtf8();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    return true;
}

bool Transcript::openPrivately()
{
    const QString parent = QFileInfo(m_folder).absolutePath();
    if (!QDir().mkpath(parent) || (!QFileInfo::exists(m_folder) && !QDir().mkdir(m_folder, kFolderMode))) {
        m_error = QStringLiteral("cannot create the folder %1").arg(m_folder);
        return false;
    }
    // Made private here even if an older run, or someone else, left it open to others.
    if (!QFile::setPermissions(m_folder, kFolderMode)) {
        m_error = QStringLiteral("cannot make the folder %1 private").arg(m_folder);
        return false;
    }
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text, kFileMode)) {
        m_error = m_file.errorString();
        return false;
    }
    if (!m_file.setPermissions(kFileMode)) {
        m_error = QStringLiteral("cannot make %1 private").arg(m_file.fileName());
        m_file.close();
        return false;
    }
    return true;
}
