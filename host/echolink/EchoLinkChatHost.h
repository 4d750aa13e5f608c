#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>

class EchoLinkBridge;

// The bridge's main object; its generated adaptor serves it as org.verbolt.ChatHost.
class EchoLinkChatHost : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QDBusObjectPath StationInfo READ stationInfo CONSTANT)
    Q_PROPERTY(QString Status READ status)
public:
    EchoLinkChatHost(EchoLinkBridge& bridge, const QDBusObjectPath& stationInfo, QObject* parent = nullptr);

    QDBusObjectPath stationInfo() const { return m_stationInfo; }
    QString status() const;

    void raiseClosing() { emit Closing(); }

public slots:
    // Sends the text to the stations in QSO; ChatTextSent says what went out, or the caller gets an error.
    void SendChatText(const QString& text);

signals:
    void ChatTextReceived(const QString& sText);
    void ChatTextSent(const QString& sText);
    void StatusChanged(const QString& status);
    void Closing();

private:
    EchoLinkBridge& m_bridge;
    QDBusObjectPath m_stationInfo;
};
