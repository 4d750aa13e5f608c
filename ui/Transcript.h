#pragma once

#include <QDate>
#include <QFile>
#include <QString>

#include <functional>

/// The conversation, kept on disk as it is shown: every piece the pane shows is appended, as shown, to a UTF-8 file of
/// the day (YYYY-MM-DD.txt in the folder given) and flushed at once, so it survives the chat host quitting or a crash.
/// Only the owner can read it: the folder is kept at mode 0700 and its files at 0600. Neither is taken unless it is
/// really the user's own: a folder or day's file that is a link, belongs to another user, or a file that is not a
/// regular one or has other names (hard links) is refused, and the day goes without a transcript.
class Transcript
{
public:
    /// $XDG_STATE_HOME/verbolt, or ~/.local/state/verbolt when that is not set.
    static QString defaultFolder();

    /// today gives the date that names the file a piece goes to.
    Transcript(QString folder, std::function<QDate()> today);

    /// Appends text; false when it could not be written, and errorString() says why. Once the day's file could not
    /// be opened or written, nothing more is tried until the next day.
    bool append(const QString& text);

    QString errorString() const { return m_error; }
    /// The file the last piece went to, or would have.
    QString currentPath() const { return m_path; }

private:
    bool openPrivately();
    bool refuse(const QString& why);

    QString m_folder;
    std::function<QDate()> m_today;
    QDate m_day;
    QString m_path;
    QFile m_file;
    QString m_error;
};
