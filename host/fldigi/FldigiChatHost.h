#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>

class FldigiBridge;

// The bridge's main object; its generated adaptor serves it as org.verbolt.ChatHost.
class FldigiChatHost : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QDBusObjectPath StationInfo READ stationInfo CONSTANT)
public:
    FldigiChatHost(FldigiBridge& bridge, const QDBusObjectPath& stationInfo, QObject* parent = nullptr);

    QDBusObjectPath stationInfo() const { return m_stationInfo; }

    void raiseChatText(const QString& text) { emit ChatTextReceived(text); }
    void raiseClosing() { emit Closing(); }

public slots:
    // Hands the text to fldigi to transmit; the caller gets an error when it cannot go.
    void SendChatText(const QString& text);

signals:
    void ChatTextReceived(const QString& sText);
    void Closing();
    // The text as it went on the air, when fitting it to the modem changed it.
    void ChatTextSent(const QString& sText);

private:
    FldigiBridge& m_bridge;
    QDBusObjectPath m_stationInfo;
};
