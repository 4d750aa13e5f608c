#pragma once

#include <QProcessEnvironment>
#include <QString>

/// The user's base directories as the XDG Base Directory rules give them: a variable that is unset, empty or not an
/// absolute path is ignored, and its default is used. Every program here reads them through this, so that the
/// window, its engines dialog and the service agree on one file.
class XdgPaths
{
public:
    /// $XDG_CONFIG_HOME, else $HOME/.config.
    static QString configHome(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    /// $XDG_DATA_HOME, else $HOME/.local/share.
    static QString dataHome(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    /// $XDG_RUNTIME_DIR, else /run/user/UID (where systemd makes it).
    static QString runtimeDir(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    /// $HOME, else the home directory of the user's account.
    static QString home(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
};
