#include "ChatHostServer.h"

#include "ChatHostBus.h"
#include "chathostadaptor.h"

#include <QDBusError>

ChatHostServer::ChatHostServer(Send send, Status status, QObject* parent)
    : QObject(parent)
    , m_send(std::move(send))
    , m_status(std::move(status))
{
    new ChatHostAdaptor(this);
}

QDBusObjectPath ChatHostServer::stationInfo() const
{
    return QDBusObjectPath(ChatHostBus::stationInfoPath);
}

void ChatHostServer::SendChatText(const QString& text)
{
    QString why;
    const std::optional<QString> sent = m_send(text, &why);
    if (!sent) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::Failed, why);
        return;
    }
    // Ahead of the reply on the bus, so the caller has it when the call returns.
    if (*sent != text)
        emit ChatTextSent(*sent);
}
