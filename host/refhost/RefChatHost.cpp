#include "RefChatHost.h"

#include "ChatTextEscape.h"

#include <cstdio>

RefChatHost::RefChatHost(const QDBusObjectPath& stationInfo, QObject* parent)
    : QObject(parent)
    , m_stationInfo(stationInfo)
{ }

void RefChatHost::SendChatText(const QString& text)
{
    const QByteArray line = escapeChatText(text).toUtf8() + '\n';
    // Nobody may be reading any more; the host keeps serving all the same.
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}
