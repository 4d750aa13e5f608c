#include "EchoLinkChatHost.h"

#include "EchoLinkBridge.h"

#include <QDBusError>

EchoLinkChatHost::EchoLinkChatHost(EchoLinkBridge& bridge, const QDBusObjectPath& stationInfo, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_stationInfo(stationInfo)
{
    connect(&m_bridge, &EchoLinkBridge::chatTextReceived, this, &EchoLinkChatHost::ChatTextReceived);
    connect(&m_bridge, &EchoLinkBridge::statusChanged, this, &EchoLinkChatHost::StatusChanged);
}

QString EchoLinkChatHost::status() const
{
    return m_bridge.status();
}

void EchoLinkChatHost::SendChatText(const QString& text)
{
    QString why;
    const std::optional<QString> sent = m_bridge.sendChatText(text, &why);
    if (!sent) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::Failed, why);
        return;
    }
    // Ahead of the reply on the bus, so the caller has it when the call returns.
    if (*sent != text)
        emit ChatTextSent(*sent);
}
