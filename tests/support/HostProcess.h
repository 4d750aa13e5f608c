#pragma once

#include "WaitUntil.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <chrono>
#include <functional>

/// A verbolt-host process, started with the given options and fed through its standard input.
class HostProcess
{
public:
    explicit HostProcess(const QStringList& options = {});
    ~HostProcess();

    /// Waits for the "ready as" line, that is until the host owns its name.
    bool waitReady();
    /// The next line the host printed on standard output, without its LF; empty on time-out.
    QByteArray nextOutputLine();
    QByteArray standardError();

    void write(const QByteArray& bytes);
    void closeInput();
    void signal(int number);
    /// Waits until the process has ended and the bus has let go of the host's name.
    bool waitGone();

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_stdout;
    QByteArray m_stderr;
};
