#include "OnlineNote.h"

#include "PaneText.h"
#include "ReplyEngine.h"

#include <QObject>

QString OnlineNote::lineFor(const QString& name, const QString& provider)
{
    return PaneText::ownLine(provider.isEmpty() ? QObject::tr("translated online by %1").arg(name)
                                                : QObject::tr("translated online by %1 (%2)").arg(name, provider));
}

QString OnlineNote::take(const QString& reply)
{
    if (m_shown)
        return {};
    const modGoogleTranslate::ReplyEngine engine = modGoogleTranslate::readReplyEngine(reply);
    if (!engine.online)
        return {};
    m_shown = true;
    return lineFor(engine.name.isEmpty() ? engine.id : engine.name, engine.provider);
}
