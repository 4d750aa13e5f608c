#pragma once

#include "PageFetcher.h"

#include <memory>

namespace net {

class CurlEventLoop;

/// Page fetches of the translation service with libcurl on the event loop of the thread that owns the fetcher; the
/// same request as GetUrl (or a form posted to the same address), with the body capped at PageResult::maxBodyBytes,
/// but never through a proxy.
class CurlPageFetcher : public PageFetcher
{
public:
    CurlPageFetcher();
    ~CurlPageFetcher() override;

    void fetch(const QString& url, Done done) override;
    void post(const QString& url, const QByteArray& form, Done done) override;

private:
    void start(const QString& url, const QByteArray* form, Done done);

    std::unique_ptr<CurlEventLoop> m_loop;
};

} // namespace net
