#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>

class Js8Bridge;

// The bridge's main object; its generated adaptor serves it as org.verbolt.ChatHost.
class Js8ChatHost : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QDBusObjectPath StationInfo READ stationInfo CONSTANT)
public:
    Js8ChatHost(Js8Bridge& bridge, const QDBusObjectPath& stationInfo, QObject* parent = nullptr);

    QDBusObjectPath stationInfo() const { return m_stationInfo; }

    void raiseChatText(const QString& text) { emit ChatTextReceived(text); }
    void raiseClosing() { emit Closing(); }

public slots:
    // Sends the text to the partner; ChatTextSent says what went out, or the caller gets an error saying why not.
    void SendChatText(const QString& text);

signals:
    void ChatTextReceived(const QString& sText);
    void ChatTextSent(const QString& sText);
    void Closing();

private:
    Js8Bridge& m_bridge;
    QDBusObjectPath m_stationInfo;
};
