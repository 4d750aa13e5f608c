#include "HostProcess.h"

#include "ChatHostBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QTimer>

#include <csignal>

HostProcess::HostProcess(const QStringList& options)
{
    m_process.setProgram(QStringLiteral(VERBOLT_HOST_BIN));
    m_process.setArguments(options);
    m_process.start();
}

HostProcess::~HostProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // The next test's host must find the name free.
    waitGone();
}

bool HostProcess::waitReady()
{
    const bool settled = waitUntil([this] {
        m_stderr += m_process.readAllStandardError();
        return m_stderr.contains("verbolt-host: ready as ") || m_process.state() == QProcess::NotRunning;
    });
    return settled && m_stderr.contains("verbolt-host: ready as ");
}

QByteArray HostProcess::nextOutputLine()
{
    qsizetype end = -1;
    waitUntil([this, &end] {
        m_stdout += m_process.readAllStandardOutput();
        end = m_stdout.indexOf('\n');
        return end >= 0;
    });
    if (end < 0)
        return {};
    const QByteArray line = m_stdout.left(end);
    m_stdout.remove(0, end + 1);
    return line;
}

QByteArray HostProcess::standardError()
{
    m_stderr += m_process.readAllStandardError();
    return m_stderr;
}

void HostProcess::write(const QByteArray& bytes)
{
    m_process.write(bytes);
    m_process.waitForBytesWritten(5000);
}

void HostProcess::closeInput()
{
    m_process.closeWriteChannel();
}

void HostProcess::signal(int number)
{
    ::kill(static_cast<pid_t>(m_process.processId()), number);
}

bool HostProcess::waitGone()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return waitUntil([this, bus] {
        return m_process.state() == QProcess::NotRunning && !bus->isServiceRegistered(ChatHostBus::serviceName);
    });
}
