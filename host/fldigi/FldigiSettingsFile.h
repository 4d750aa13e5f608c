#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// fldigi's settings file, fldigi_def.xml in its configuration folder, read for what the bridge needs from it. The
/// folder is named by whatever answers at fldigi's address: the file is taken only if it is a regular file of at most
/// maxBytes, and opened without waiting (a pipe or a device under its name is refused, never read).
class FldigiSettingsFile
{
public:
    static constexpr qsizetype maxBytes = 1024 * 1024;

    /// The file's bytes; nullopt with *why set when it is missing, not a regular file, larger than maxBytes or
    /// cannot be read.
    static std::optional<QByteArray> read(const QString& path, QString* why);

    /// The station's callsign as the settings file in folder holds it (MYCALL), trimmed; empty when it holds none.
    /// nullopt with *why set when the file cannot be read.
    static std::optional<QString> callsign(const QString& folder, QString* why);
};
