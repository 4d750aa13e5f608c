#pragma once

#include "Js8Client.h"

#include <QObject>
#include <QString>

#include <optional>

/// Turns JS8Call's directed messages into chat host texts, "CALL>text", and sends texts directed to the partner in
/// the letters JS8Call carries.
class Js8Bridge : public QObject
{
    Q_OBJECT
public:
    struct Options {
        /// The one station to talk with; empty to answer whoever wrote last.
        QString partner;
        /// A group (@NAME) whose messages are raised too, and written to while no station has written.
        QString group;
    };

    /// The callsign is the one JS8Call gave at start; reads keep it fresh.
    Js8Bridge(Js8Client& client, const Options& options, const QString& callsign, QObject* parent = nullptr);

    /// JS8Call's callsign as last heard; each read asks JS8Call again, for the next one.
    QString callsign();
    /// Who SendChatText writes to: the partner given, else the station that wrote last, else the group; empty for
    /// nobody yet.
    QString addressee() const;
    /// Sends text (lines apart by CR) directed to the addressee as JS8Call can carry it; the text as it went out,
    /// or nullopt with *why set.
    std::optional<QString> sendChatText(const QString& text, QString* why);

signals:
    /// A message for the operator, "CALL>text".
    void chatTextReceived(const QString& text);
    /// JS8Call has gone; nothing more will come.
    void closing(const QString& why);

private:
    void onDirected(const Js8Client::Directed& message);

    Js8Client& m_client;
    Options m_options;
    QString m_callsign;
    QString m_lastWriter;
};
