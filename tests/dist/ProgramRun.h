#pragma once

#include "ChildProcess.h"

#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>

#include <chrono>

inline std::ostream& operator<<(std::ostream& os, const QByteArray& bytes)
{
    PrintTo(bytes, &os);
    return os;
}

namespace disttest {

/// What a finished program left: its exit code (-1 when it crashed or did not finish), and its output.
struct ProgramRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

/// Runs a program to its end, or kills it once the limit has passed.
inline ProgramRun runProgram(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProgramRun run;
    const bool finished = process.waitForFinished(int(limit.count()));
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    if (finished && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}

/// This environment without a display and with a session bus that cannot be reached.
inline QProcessEnvironment withoutDisplayOrBus()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    return environment;
}

using ::freeLoopbackPort;

} // namespace disttest
