#include "BridgeChatHost.h"

#include "PurpleBridge.h"

#include <QDBusError>

BridgeChatHost::BridgeChatHost(PurpleBridge& bridge, const QDBusObjectPath& stationInfo, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_stationInfo(stationInfo)
{ }

QString BridgeChatHost::status() const
{
    return m_bridge.status();
}

void BridgeChatHost::SendChatText(const QString& text)
{
    QString why;
    if (!m_bridge.sendChatText(text, &why) && calledFromDBus())
        sendErrorReply(QDBusError::Failed, why);
}
