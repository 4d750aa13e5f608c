#pragma once

// Stand-ins for the chat programs the bridges attach to: just enough for a bridge to start, own the chat host's name
// and run until stopped. They answer from this test's event loop, so the test waits with waitUntil().

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>
#include <vector>

/// A chat program a bridge talks to while a test runs; the arguments tell the bridge where it is.
class StandIn
{
public:
    virtual ~StandIn() = default;
    virtual QStringList arguments() const = 0;
};

/// JS8Call's TCP API: one JSON object a line; it tells the station's callsign when asked.
class Js8StandIn : public StandIn
{
public:
    Js8StandIn();
    QStringList arguments() const override;

private:
    QTcpServer m_server;
    std::vector<std::unique_ptr<QTcpSocket>> m_clients;
};

/// fldigi's XML-RPC server over HTTP: its name and version, and an empty receive pane.
class FldigiStandIn : public StandIn
{
public:
    FldigiStandIn();
    QStringList arguments() const override;

private:
    void answer(QTcpSocket& client, QByteArray& received);

    QTcpServer m_server;
    std::vector<std::unique_ptr<QTcpSocket>> m_clients;
};

/// Pidgin's D-Bus service with no account and no conversation, on a bus connection of its own.
class PurpleStandIn : public QObject, public StandIn
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "im.pidgin.purple.PurpleInterface")
public:
    PurpleStandIn();
    ~PurpleStandIn() override;
    QStringList arguments() const override { return {}; }

public slots:
    QList<int> PurpleGetConversations() { return {}; }
    QList<int> PurpleAccountsGetAllActive() { return {}; }

private:
    QDBusConnection m_bus;
};

/// Qtel is not needed for verbolt-echolink to start: it waits for Qtel as a proxy. This gives it a password file, a
/// free port for Qtel and the EchoLink ports on 127.0.0.1 only.
class EchoLinkStandIn : public StandIn
{
public:
    EchoLinkStandIn();
    QStringList arguments() const override;

private:
    QTemporaryDir m_dir;
    quint16 m_port = 0;
};
