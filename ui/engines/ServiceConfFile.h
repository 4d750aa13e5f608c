#pragma once

#include <QString>
#include <QStringList>

/// verbolt-service.conf as the engines dialog edits it: an INI file in the dialect the service reads (QSettings'
/// INI format), changed value by value so that every line, comment and key it does not set stays as it was.
/// Section and key names are matched exactly, as the service does.
class ServiceConfFile
{
public:
    /// $XDG_CONFIG_HOME/verbolt-service.conf (where that is an absolute path), else ~/.config/verbolt-service.conf.
    static QString defaultPath();

    /// Reads path; a missing file is an empty one. False with *error set when it exists and cannot be read.
    bool load(const QString& path, QString* error = nullptr);

    /// The value of key in section: unquoted, without a trailing comment, trimmed; "" when absent.
    QString value(const QString& section, const QString& key) const;
    bool contains(const QString& section, const QString& key) const;

    /// Sets key in section: an existing line keeps its place and its comment, a new key goes after the last line
    /// of its section, a new section at the end of the file. Values are quoted where the service would otherwise
    /// read them differently (a ";", a ",", a quote, a backslash, spaces at either end).
    void setValue(const QString& section, const QString& key, const QString& value);

    /// Writes the file atomically, readable by its owner alone (0600), creating its folder as needed. On failure
    /// the file on disk is left as it was and *error says why.
    bool save(QString* error = nullptr) const;

    const QString& path() const { return m_path; }
    /// The file's text as it would be saved.
    QString text() const;

    /// value as the service reads it back from the right-hand side of "key=".
    static QString quoted(const QString& value);
    /// The value a right-hand side stands for, as the service reads it.
    static QString unquoted(const QString& rightHandSide);

private:
    struct Found {
        qsizetype line = -1;
        qsizetype valueStart = -1;
        qsizetype valueEnd = -1;
    };
    Found find(const QString& section, const QString& key) const;

    QString m_path;
    QStringList m_lines;
    /// The file's own line end and whether its last line had one.
    QString m_lineEnd = QStringLiteral("\n");
};
