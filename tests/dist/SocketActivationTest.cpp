// verbolt-service started the way systemd starts it from verbolt-service.socket: systemd-socket-activate listens,
// and on the first connection runs the service with the listening socket handed over (LISTEN_FDS).
#include "ProgramRun.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

struct ActivationCase {
    const char* name;
    /// systemd-socket-activate's options; {port}, {port2} and {dir} are filled in.
    QStringList listen;
    /// Empty when the service must serve the socket; else what it says before it ends.
    QByteArray refusal;
};

void PrintTo(const ActivationCase& c, std::ostream* os)
{
    *os << c.name;
}

class SocketActivation : public testing::TestWithParam<ActivationCase>
{
protected:
    void SetUp() override
    {
        m_activate = QStandardPaths::findExecutable(QStringLiteral("systemd-socket-activate"));
        ASSERT_FALSE(m_activate.isEmpty()) << "systemd-socket-activate is missing (scripts/setup.sh installs it)";
        ASSERT_TRUE(m_dir.isValid());
        QDir().mkdir(m_dir.filePath(QStringLiteral("open")));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("open")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
        m_port = disttest::freeLoopbackPort();
        QStringList arguments;
        for (QString argument : GetParam().listen) {
            argument.replace(QStringLiteral("{port}"), QString::number(m_port));
            argument.replace(QStringLiteral("{port2}"), QString::number(disttest::freeLoopbackPort()));
            argument.replace(QStringLiteral("{dir}"), m_dir.path());
            arguments << argument;
        }
        arguments << QStringLiteral(VERBOLT_SERVICE_BIN);
        QObject::connect(
            &m_process, &QProcess::readyReadStandardError, [this] { m_err += m_process.readAllStandardError(); });
        m_process.start(m_activate, arguments);
        // Once it listens, the next connection starts the service.
        ASSERT_TRUE(waitUntil(
            [&] { return m_err.count("Listening on") == GetParam().listen.count(QStringLiteral("-l")); }, 30s))
            << m_err;
    }

    void TearDown() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000))
                m_process.kill();
            m_process.waitForFinished();
        }
    }

    QString m_activate;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QProcess m_process;
    QByteArray m_err;
};

TEST_P(SocketActivation, ServiceServesTheSocketOrSaysWhyNot)
{
    const ActivationCase& c = GetParam();
    const QString socketPath = m_dir.filePath(QStringLiteral("service.sock"));
    const bool overSocket = c.listen.contains(QStringLiteral("{dir}/service.sock"));
    if (c.refusal.isEmpty()) {
        QTcpSocket client;
        QLocalSocket local;
        QByteArray reply;
        QObject::connect(&client, &QTcpSocket::readyRead, [&] { reply += client.readAll(); });
        QObject::connect(&local, &QLocalSocket::readyRead, [&] { reply += local.readAll(); });
        QIODevice* device = &client;
        if (overSocket) {
            local.connectToServer(socketPath);
            device = &local;
        } else {
            client.connectToHost(QHostAddress::LocalHost, m_port);
        }
        device->write("GET /ajax/services/language/translate?v=1.0&q=Good%20morning&langpair=en|es HTTP/1.1\r\n"
                      "Host: 127.0.0.1\r\n\r\n");
        ASSERT_TRUE(waitUntil([&] { return reply.contains("Buenos d"); }, 60s)) << reply << m_err;
        EXPECT_TRUE(reply.startsWith("HTTP/1.1 200")) << reply;
        EXPECT_TRUE(m_err.contains(
            "listening on " + (overSocket ? QFile::encodeName(socketPath) : "127.0.0.1:" + QByteArray::number(m_port))))
            << m_err;
        return;
    }

    // A connection starts the service.
    QTcpSocket tcp;
    QLocalSocket local;
    if (c.listen.contains(QStringLiteral("{dir}/open/service.sock")))
        local.connectToServer(m_dir.filePath(QStringLiteral("open/service.sock")));
    else
        tcp.connectToHost(QHostAddress::LocalHost, m_port);
    ASSERT_TRUE(waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, 30s)) << m_err;
    EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_process.exitCode(), 2);
    EXPECT_TRUE(m_err.contains("verbolt-service: " + c.refusal)) << m_err;
    EXPECT_TRUE(!c.listen.contains(QStringLiteral("{dir}/open/service.sock"))
        || m_err.contains("/open is open to other users (mode 0755)"))
        << m_err;
}

INSTANTIATE_TEST_SUITE_P(Cases, SocketActivation,
    testing::Values(ActivationCase{"OneTcpSocket", {"-l", "127.0.0.1:{port}"}, {}},
        ActivationCase{
            "TwoSockets", {"-l", "127.0.0.1:{port}", "-l", "127.0.0.1:{port2}"}, "systemd handed over 2 sockets"},
        ActivationCase{"UnixSocket", {"-l", "{dir}/service.sock"}, {}},
        ActivationCase{"UnixSocketInAFolderOthersMayEnter", {"-l", "{dir}/open/service.sock"}, "the folder "}),
    CaseName());

} // namespace
