#pragma once

#include "EngineService.h"
#include "ServiceAddress.h"

#include <memory>

class PageFetcher;

/// The service's settings paths (/verbolt/engines, /verbolt/try, /verbolt/reload) through the window's page
/// fetcher, so that they take the same road to the service as the translations.
class ServiceEngineClient : public EngineService
{
public:
    /// fetcher must outlive this client and reach address (its Unix socket set when address is one).
    ServiceEngineClient(PageFetcher* fetcher, net::ServiceAddress address);
    ~ServiceEngineClient() override;

    void engines(const QString& lang, ReportDone done) override;
    void tryEngine(const QString& engine, const QString& from, const QString& to, const QString& text,
        const QMap<QString, QString>& fields, TryDone done) override;
    void reload(ReloadDone done) override;

private:
    QString url(const QString& path) const;

    PageFetcher* m_fetcher;
    net::ServiceAddress m_address;
    QString m_serviceHost;
    /// Answers that come after the client is gone are dropped.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
