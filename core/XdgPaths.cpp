#include "XdgPaths.h"

#include <QDir>

#include <unistd.h>

namespace {

// The variable's value when it is an absolute path; else fallback. Cleaned, without a trailing slash.
QString absoluteOr(const QProcessEnvironment& env, const QString& name, const QString& fallback)
{
    const QString value = env.value(name);
    return QDir::cleanPath(!value.isEmpty() && QDir::isAbsolutePath(value) ? value : fallback);
}

} // namespace

QString XdgPaths::home(const QProcessEnvironment& env)
{
    const QString value = env.value(QStringLiteral("HOME"));
    return QDir::cleanPath(value.isEmpty() ? QDir::homePath() : value);
}

QString XdgPaths::configHome(const QProcessEnvironment& env)
{
    return absoluteOr(env, QStringLiteral("XDG_CONFIG_HOME"), home(env) + QStringLiteral("/.config"));
}

QString XdgPaths::dataHome(const QProcessEnvironment& env)
{
    return absoluteOr(env, QStringLiteral("XDG_DATA_HOME"), home(env) + QStringLiteral("/.local/share"));
}

QString XdgPaths::runtimeDir(const QProcessEnvironment& env)
{
    return absoluteOr(env, QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/run/user/%1").arg(::getuid()));
}
