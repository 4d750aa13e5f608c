#include "FldigiChatHost.h"

#include "FldigiBridge.h"

#include <QDBusError>

FldigiChatHost::FldigiChatHost(FldigiBridge& bridge, const QDBusObjectPath& stationInfo, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_stationInfo(stationInfo)
{ }

void FldigiChatHost::SendChatText(const QString& text)
{
    QString sentAs;
    QString why;
    if (!m_bridge.sendChatText(text, &sentAs, &why)) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::Failed, why);
        return;
    }
    // Ahead of the reply on the bus, so the caller has it when the call returns.
    if (sentAs != text)
        emit ChatTextSent(sentAs);
}
