#pragma once

#include "http/ReplyEncoding.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace service {

/// What answers the service's own settings paths (/verbolt/...) and names the engine of a reply.
class ServiceSettings
{
public:
    using Reply = std::function<void(int status, const QByteArray& jsonBody)>;

    virtual ~ServiceSettings() = default;

    /// Answers one request to a settings path; done runs once, from the event loop.
    virtual void handle(
        const QByteArray& method, const QByteArray& path, const QByteArray& query, const QByteArray& body, Reply done)
        = 0;
    /// The engine a route id stands for; an empty id when unknown.
    virtual ReplyEncoding::EngineTag engineTag(const QString& id) const = 0;
};

} // namespace service
