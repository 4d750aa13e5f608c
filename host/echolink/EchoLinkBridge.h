#pragma once

#include "ChatCodec.h"
#include "ProxyMessage.h"
#include "QtelLink.h"
#include "StationLink.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

/// An EchoLink proxy server for one client at a time that relays everything unchanged and taps the chat: the lines of
/// the stations in QSO are raised as "CALL>text", and texts sent here go to those stations as the client's own.
class EchoLinkBridge : public QObject
{
    Q_OBJECT
public:
    struct Options {
        /// The proxy's password, as the client enters it.
        QByteArray password;
        ChatCodec codec;
        /// How long a client that went may stay away before the bridge closes.
        int goneGraceMs = 15000;
        /// Makes each client's nonce; random unless a test fixes it.
        std::function<QByteArray()> nonce;
    };

    EchoLinkBridge(QtelLink& qtel, StationLink& stations, Options options, QObject* parent = nullptr);

    /// The callsign the current client logged in with; empty while none is there.
    QString callsign() const { return m_callsign; }
    bool clientConnected() const { return m_current >= 0; }
    /// The callsigns of the stations in QSO, in the order they came.
    QStringList stations() const;
    /// Whether a client is connected and with which stations, for the operator.
    QString status() const;

    /// Sends text (lines apart by CR) to every station in QSO as the client's chat, and a copy to the client; the text
    /// as it went out, or nullopt with *why set.
    std::optional<QString> sendChatText(const QString& text, QString* why);

signals:
    /// A chat line from a station in QSO, "CALL>text".
    void chatTextReceived(const QString& text);
    void statusChanged(const QString& status);
    /// The client, once connected, has stayed away too long.
    void closing(const QString& why);

private:
    struct Client {
        QByteArray nonce;
        QByteArray buffer;
        bool authenticated = false;
    };
    struct Station {
        QByteArray callsign;
        bool clientSaidHello = false;
        bool stationSaidHello = false;
        bool inQso() const { return clientSaidHello && stationSaidHello && !callsign.isEmpty(); }
    };

    void onArrived(int client);
    void onReceived(int client, const QByteArray& bytes);
    void onGone(int client);
    bool authenticate(int id, Client& client);
    void handle(const ProxyMessage& message);
    void onUdp(StationLink::Port port, quint32 ip, const QByteArray& packet);
    void trackControl(quint32 ip, const QByteArray& packet, bool fromClient);
    void sendToCurrent(const QByteArray& bytes);
    void updateStatus();

    QtelLink& m_qtel;
    StationLink& m_stations;
    Options m_options;
    QHash<int, Client> m_clients;
    int m_current = -1;
    QString m_callsign;
    bool m_directoryOpen = false;
    // Stations heard from or called, by address; m_order keeps the order they came in.
    QHash<quint32, Station> m_stationsByIp;
    QList<quint32> m_order;
    QString m_status;
    bool m_everConnected = false;
    QTimer m_goneTimer;
};
