#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// The proxy's own password, which the operator enters in Qtel: read from a file, or made on first start.
class ProxyPassword
{
public:
    /// $XDG_CONFIG_HOME/verbolt/echolink-proxy.password ($HOME/.config when XDG_CONFIG_HOME is unset or relative).
    static QString defaultFile();

    /// The password in file (its first line). When file is the default one and missing, a random password is made
    /// and kept there (mode 0600) and *made is set. nullopt with *why set when there is none to be had.
    static std::optional<QByteArray> load(const QString& file, bool* made, QString* why);
};
