#include "Js8ChatHost.h"

#include "Js8Bridge.h"

#include <QDBusError>

Js8ChatHost::Js8ChatHost(Js8Bridge& bridge, const QDBusObjectPath& stationInfo, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_stationInfo(stationInfo)
{ }

void Js8ChatHost::SendChatText(const QString& text)
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
