#pragma once

#include <QString>

namespace modGoogleTranslate {

/// The engine a translation reply names: which route produced the text and where the text went.
struct ReplyEngine {
    QString id;
    QString name;
    /// Who the text went to, with the host it went to; empty for an offline engine.
    QString provider;
    bool online = false;
};

/// The "engine" field of a service reply; all empty when the reply has none (an older service, a refusal).
ReplyEngine readReplyEngine(const QString& reply);

} // namespace modGoogleTranslate
