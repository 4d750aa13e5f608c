#pragma once

#include <QDBusObjectPath>
#include <QObject>

// The reference host's main object; its generated adaptor serves it as org.verbolt.ChatHost.
class RefChatHost : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QDBusObjectPath StationInfo READ stationInfo CONSTANT)
public:
    explicit RefChatHost(const QDBusObjectPath& stationInfo, QObject* parent = nullptr);

    QDBusObjectPath stationInfo() const { return m_stationInfo; }

    void raiseChatText(const QString& text) { emit ChatTextReceived(text); }
    void raiseClosing() { emit Closing(); }

public slots:
    // Shows what a client sent on standard output, escaped to one line, at once.
    void SendChatText(const QString& text);

signals:
    void ChatTextReceived(const QString& sText);
    void Closing();

private:
    QDBusObjectPath m_stationInfo;
};
