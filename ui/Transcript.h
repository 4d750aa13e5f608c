#pragma once

#include <QDate>
#include <QFile>
#include <QString>

#include <functional>

/// The conversation, kept on disk as it is shown: every piece the pane shows is appended, as shown, to a UTF-8 file of
/// the day (YYYY-MM-DD.txt in the folder given) and flushed at once, so it survives the chat host quitting or a crash.
/// Only the owner can read it: the folder is kept at mode 0700 and its files at 0600.
class Transcript
{
public:
    /// $XDG_STATE_HOME/verbolt, or ~/.local/state/verbolt when that is not set.
    static QString defaultFolder();

    /// today gives the date that names the file a piece goes to.
    Transcript(QString folder, std::function<QDate()> today);

    /// Appends text; false when it could not be written, and errorString() says why.
    bool append(const QString& text);

    QString errorString() const { return m_error; }
    /// The file the last piece went to, or would have.
    QString currentPath() const { return m_file.fileName(); }

private:
    bool openPrivately();

    QString m_folder;
    std::function<QDate()> m_today;
    QDate m_day;
    QFile m_file;
    QString m_error;
};
