#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>

class PurpleBridge;

// The bridge's main object; its generated adaptor serves it as org.verbolt.ChatHost.
class BridgeChatHost : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QDBusObjectPath StationInfo READ stationInfo CONSTANT)
    Q_PROPERTY(QString Status READ status)
public:
    BridgeChatHost(PurpleBridge& bridge, const QDBusObjectPath& stationInfo, QObject* parent = nullptr);

    QDBusObjectPath stationInfo() const { return m_stationInfo; }
    // What the bridge last said about itself: which conversation it follows, or why it follows none.
    QString status() const;

    void raiseChatText(const QString& text) { emit ChatTextReceived(text); }
    void raiseClosing() { emit Closing(); }
    void raiseStatus(const QString& status) { emit StatusChanged(status); }

public slots:
    // Sends the text into the followed conversation; the caller gets an error when it could not go.
    void SendChatText(const QString& text);

signals:
    void ChatTextReceived(const QString& sText);
    void StatusChanged(const QString& status);
    void Closing();

private:
    PurpleBridge& m_bridge;
    QDBusObjectPath m_stationInfo;
};
