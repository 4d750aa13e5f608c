#pragma once

// Running the real programs from a test: free ports, short tool runs, and children whose output a test can wait on.

#include <QByteArray>
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <chrono>
#include <string>

/// A port on 127.0.0.1 that nothing listens on just now.
inline quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

/// Runs a tool to its end within limit; its standard output, trimmed, or "" when it did not finish.
inline QString runTool(
    const QString& program, const QStringList& args, std::chrono::milliseconds limit = std::chrono::seconds(15))
{
    QProcess tool;
    tool.start(program, args);
    if (!tool.waitForFinished(int(limit.count()))) {
        tool.kill();
        tool.waitForFinished();
        return {};
    }
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

/// A child whose output is collected as it comes, so that a test can wait for a line with a deadline. Ended on
/// destruction: asked first, killed when it does not go.
class Child
{
public:
    explicit Child(const QString& name)
        : m_name(name)
    {
        QObject::connect(
            &m_process, &QProcess::readyReadStandardOutput, [this] { m_out += m_process.readAllStandardOutput(); });
        QObject::connect(
            &m_process, &QProcess::readyReadStandardError, [this] { m_err += m_process.readAllStandardError(); });
    }
    ~Child()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    QProcess& process() { return m_process; }
    QByteArray out() const { return m_out; }
    QByteArray err() const { return m_err; }
    bool ended() const { return m_process.state() == QProcess::NotRunning; }
    /// Everything it printed, for a failure message.
    std::string describe() const
    {
        return QStringLiteral("%1 stdout: %2\nstderr: %3\n")
            .arg(m_name, QString::fromUtf8(m_out), QString::fromUtf8(m_err))
            .toStdString();
    }

private:
    QString m_name;
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
};
