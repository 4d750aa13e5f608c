#pragma once

#include <QList>
#include <QPair>
#include <QString>

/// A profile file (INI) read and written the way the Windows profile functions do: sections and keys are matched
/// without regard to case, values are cut to 255 characters, and a write keeps every line it does not change.
/// Files are read as UTF-8, or as Windows-1252 when they are not valid UTF-8, and written as UTF-8.
namespace ReadWriteIni {

/// Longest value a read returns, in characters.
inline constexpr qsizetype maxValueLength = 255;

/// The value of key in section of the file at path, without surrounding spaces and one pair of enclosing quotes
/// and cut to maxValueLength; defaultValue when the file, the section or the key is missing. An empty value
/// gives "".
QString read(const QString& section, const QString& key, const QString& defaultValue, const QString& path);

/// Sets key to value in section, creating the file, its folder and the section as needed. An existing key keeps
/// its line, a new key goes at the end of its section. The file is replaced atomically: on failure it is left
/// as it was, false is returned and *error (when given) says why.
bool write(
    const QString& section, const QString& key, const QString& value, const QString& path, QString* error = nullptr);

/// Sets several keys of one section in one atomic replacement of the file, as write does for one.
bool write(const QString& section, const QList<QPair<QString, QString>>& entries, const QString& path,
    QString* error = nullptr);

/// The program's settings file: $XDG_CONFIG_HOME/Verbolt.ini, or ~/.config/Verbolt.ini when that is not set.
QString settingsPath();

} // namespace ReadWriteIni
