#pragma once

#include <QObject>
#include <QString>

/// A running JS8Call, as the bridge sees it through its API.
class Js8Client : public QObject
{
    Q_OBJECT
public:
    /// A directed message JS8Call decoded: FROM and TO are callsigns or a group (@NAME); CMD is JS8Call's command
    /// (blank for free text); TEXT is what JS8Call shows, "FROM: TO  message ♢ " with the end-of-message mark.
    struct Directed {
        QString from;
        QString to;
        QString cmd;
        QString text;
    };

    using QObject::QObject;
    ~Js8Client() override = default;

    /// Asks for the station's callsign; callsignReceived answers.
    virtual void requestCallsign() = 0;
    /// Gives JS8Call a message to transmit, "CALL text" (it puts the station's own call in front); false with *why
    /// set when the API did not take it.
    virtual bool sendMessage(const QString& text, QString* why) = 0;

signals:
    void callsignReceived(const QString& callsign);
    void directedReceived(const Js8Client::Directed& message);
    /// JS8Call is quitting, or its API has gone; nothing more will come.
    void ended(const QString& why);
};
