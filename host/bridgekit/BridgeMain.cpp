#include "BridgeMain.h"

#include "ChatHostBus.h"
#include "ChatHostServer.h"
#include "StationInfoServer.h"
#include "StopSignals.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>

#include <csignal>
#include <cstdio>

BridgeMain::BridgeMain(const QString& name, const QString& version, const QString& description)
    : m_name(name)
{
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(version);
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
    m_parser.addVersionOption();
}

BridgeMain::~BridgeMain() = default;

void BridgeMain::process()
{
    m_parser.process(*QCoreApplication::instance());
}

void BridgeMain::say(const QString& text) const
{
    const QByteArray line = m_name.toUtf8() + ": " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

int BridgeMain::fail(const QString& why) const
{
    say(why);
    return 1;
}

bool BridgeMain::start()
{
    // A reader that went away must not kill the bridge; its output is then simply lost.
    std::signal(SIGPIPE, SIG_IGN);
    m_stop = std::make_unique<StopSignals>();
    if (!m_stop->isValid()) {
        say(QStringLiteral("cannot watch for stop signals"));
        return false;
    }
    m_bus = QDBusConnection::sessionBus();
    if (!m_bus.isConnected()) {
        say(QStringLiteral("no session bus: %1").arg(m_bus.lastError().message()));
        return false;
    }
    return true;
}

bool BridgeMain::serve(ChatHostServer& chat, StationInfoServer& station)
{
    if (!m_bus.registerObject(ChatHostBus::objectPath, &chat)
        || !m_bus.registerObject(ChatHostBus::stationInfoPath, &station)) {
        say(QStringLiteral("cannot serve the host objects: %1").arg(m_bus.lastError().message()));
        return false;
    }
    if (!m_bus.registerService(ChatHostBus::serviceName)) {
        // No error: the name is simply owned by another program.
        if (!m_bus.lastError().isValid() && m_nameTaken) {
            m_exitStatus = m_nameTaken();
            return false;
        }
        const QString reason
            = m_bus.lastError().isValid() ? m_bus.lastError().message() : QStringLiteral("another chat host owns it");
        say(QStringLiteral("cannot own the name %1: %2").arg(ChatHostBus::serviceName, reason));
        return false;
    }
    m_chat = &chat;
    return true;
}

int BridgeMain::exec()
{
    connect(m_stop.get(), &StopSignals::stopRequested, this, [this] { close(m_stopReason); });
    return QCoreApplication::exec();
}

void BridgeMain::close(const QString& why)
{
    if (std::exchange(m_closing, true))
        return;
    emit closing();
    if (!why.isEmpty())
        say(why + QStringLiteral("; closing"));
    if (m_chat)
        m_chat->raiseClosing();
    // A round trip through the bus: once it answers, Closing has left ahead of the disconnect.
    m_bus.interface()->isServiceRegistered(ChatHostBus::serviceName);
    QCoreApplication::quit();
}
