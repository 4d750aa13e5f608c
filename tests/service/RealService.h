#pragma once

// The real verbolt-service, started from a test with an engine of the test's own: a LibreTranslate fake on
// loopback, served by the test's event loop.

#include "ChildProcess.h"
#include "FakeProviders.h"
#include "ServiceTestSupport.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace servicetest {

class RealService
{
public:
    /// A configuration whose one engine is the fake (Apertium finds no modes in an empty folder); extra goes on
    /// in its section.
    explicit RealService(const QByteArray& extra = {})
    {
        m_fake.handler = libreTranslate({}, {u"en"_qs, u"de"_qs});
        QFile file(m_dir.filePath(u"verbolt-service.conf"_qs));
        if (file.open(QIODevice::WriteOnly))
            file.write("[libretranslate]\nurl=" + m_fake.url().toEncoded() + "\n" + extra);
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        m_modes = m_dir.filePath(u"modes"_qs);
        QDir().mkpath(m_modes);
    }

    /// Starts it with these options besides the configuration, and waits until it listens or ends; true when it
    /// listens.
    bool start(const QStringList& options, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        launch(options, env);
        return waitListening();
    }
    /// Starts it without waiting; through: a program that runs it (systemd-socket-activate and its options).
    void launch(const QStringList& options, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
        const QStringList& through = {})
    {
        m_child.process().setProcessEnvironment(env);
        const QStringList args = QStringList{u"--config"_qs, configPath(), u"--apertium-modes"_qs, m_modes} + options;
        if (through.isEmpty())
            m_child.process().start(QStringLiteral(VERBOLT_SERVICE_BIN), args);
        else
            m_child.process().start(
                through.first(), through.mid(1) + QStringList{QStringLiteral(VERBOLT_SERVICE_BIN)} + args);
    }
    /// Waits until it listens or ends; true when it listens.
    bool waitListening()
    {
        waitUntil(
            [this] { return m_child.err().contains("listening on") || m_child.ended(); }, std::chrono::seconds(30));
        return !m_child.ended() && m_child.err().contains("listening on");
    }
    QString configPath() const { return m_dir.filePath(u"verbolt-service.conf"_qs); }
    /// Waits for it to end; its exit status, or -1.
    int waitEnded()
    {
        waitUntil([this] { return m_child.ended(); }, std::chrono::seconds(30));
        return m_child.ended() && m_child.process().exitStatus() == QProcess::NormalExit ? m_child.process().exitCode()
                                                                                         : -1;
    }
    void stop()
    {
        m_child.process().terminate();
        waitEnded();
    }

    FakeHttpServer& fake() { return m_fake; }
    Child& child() { return m_child; }
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_modes;
    FakeHttpServer m_fake;
    Child m_child{u"verbolt-service"_qs};
};

/// One raw exchange over a Unix socket: sends bytes, collects everything until the server closes.
class LocalExchange
{
public:
    LocalExchange(const QString& path, const QByteArray& request)
    {
        QObject::connect(&m_socket, &QLocalSocket::readyRead, [this] { m_received += m_socket.readAll(); });
        QObject::connect(&m_socket, &QLocalSocket::disconnected, [this] {
            m_received += m_socket.readAll();
            m_closed = true;
        });
        QObject::connect(&m_socket, &QLocalSocket::errorOccurred, [this](QLocalSocket::LocalSocketError) {
            if (m_socket.state() == QLocalSocket::UnconnectedState)
                m_closed = true;
        });
        m_socket.connectToServer(path);
        m_socket.write(request);
    }
    bool waitClosed(std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        return waitUntil([this] { return m_closed; }, limit);
    }
    QByteArray received() const { return m_received; }
    int status() const { return m_received.mid(9, 3).toInt(); }

private:
    QLocalSocket m_socket;
    QByteArray m_received;
    bool m_closed = false;
};

inline const QByteArray kTranslateTarget = "/ajax/services/language/translate?v=1.0&q=Hello&langpair=en|de";

} // namespace servicetest
