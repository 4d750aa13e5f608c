#include "ReplyEngine.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace modGoogleTranslate {

ReplyEngine readReplyEngine(const QString& reply)
{
    const QJsonObject engine
        = QJsonDocument::fromJson(reply.toUtf8()).object().value(QStringLiteral("engine")).toObject();
    ReplyEngine read;
    read.id = engine.value(QStringLiteral("id")).toString();
    read.name = engine.value(QStringLiteral("name")).toString();
    read.provider = engine.value(QStringLiteral("provider")).toString();
    // Only a plain true counts: a reply that cannot say where the text went does not claim it went online.
    read.online = engine.value(QStringLiteral("online")).toBool(false) && !read.id.isEmpty();
    return read;
}

} // namespace modGoogleTranslate
