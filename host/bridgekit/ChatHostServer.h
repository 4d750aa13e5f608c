#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

/// A bridge's main object on the session bus, served as org.verbolt.ChatHost at ChatHostBus::objectPath. The
/// bridge gives it what sends a text into its chat program and, optionally, what it says about itself; it raises
/// the signals.
class ChatHostServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QDBusObjectPath StationInfo READ stationInfo CONSTANT)
    Q_PROPERTY(QString Status READ status)
public:
    /// Sends text (lines separated by CR) into the chat: the text as it went out, or nullopt with *why set.
    using Send = std::function<std::optional<QString>(const QString& text, QString* why)>;
    /// What the bridge says about itself now; empty when it has nothing to say.
    using Status = std::function<QString()>;

    explicit ChatHostServer(Send send, Status status = {}, QObject* parent = nullptr);

    QDBusObjectPath stationInfo() const;
    QString status() const { return m_status ? m_status() : QString(); }

    void raiseChatText(const QString& text) { emit ChatTextReceived(text); }
    void raiseStatus(const QString& status) { emit StatusChanged(status); }
    void raiseClosing() { emit Closing(); }

public slots:
    /// Sends the text; ChatTextSent says what went out when it was changed, or the caller gets an error saying why
    /// it could not go.
    void SendChatText(const QString& text);

signals:
    void ChatTextReceived(const QString& sText);
    void StatusChanged(const QString& status);
    /// The text as it went into the chat, when sending it changed it.
    void ChatTextSent(const QString& sText);
    void Closing();

private:
    Send m_send;
    Status m_status;
};
