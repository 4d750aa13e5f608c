#include "BridgeControl.h"

#include "PurpleBridge.h"

#include <QDBusError>

BridgeControl::BridgeControl(PurpleBridge& bridge, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
{ }

void BridgeControl::Follow(const QString& conversation)
{
    if (conversation.trimmed().isEmpty()) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::InvalidArgs, tr("name the conversation to follow"));
        return;
    }
    m_bridge.follow(conversation);
}
