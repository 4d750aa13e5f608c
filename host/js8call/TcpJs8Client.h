#pragma once

#include "Js8Client.h"

#include <QByteArray>
#include <QJsonObject>
#include <QTcpSocket>

/// JS8Call's TCP API: one JSON object a line each way, {"type": ..., "value": ..., "params": {...}}.
class TcpJs8Client : public Js8Client
{
    Q_OBJECT
public:
    /// Longest line taken from JS8Call; a longer one (never a message the bridge needs) is skipped.
    static constexpr qsizetype maxLineBytes = 1 << 20;

    explicit TcpJs8Client(QObject* parent = nullptr);

    /// Connects to the API, waiting at most timeoutMs; false with *why set when nothing answers there.
    bool connectTo(const QString& host, quint16 port, int timeoutMs, QString* why);

    void requestCallsign() override;
    bool sendMessage(const QString& text, QString* why) override;

private:
    bool send(const QString& type, const QString& value, QString* why);
    void onReadyRead();
    void handle(const QJsonObject& message);
    void end(const QString& why);

    QTcpSocket m_socket;
    QByteArray m_line;
    bool m_skipping = false;
    bool m_ended = false;
};
