#pragma once

#include "PageFetcher.h"

#include <memory>

namespace net {

class CurlEventLoop;

/// Page fetches of the translation service with libcurl on the event loop of the thread that owns the fetcher; the
/// same request as GetUrl, with the body capped at PageResult::maxBodyBytes, but never through a proxy.
class CurlPageFetcher : public PageFetcher
{
public:
    CurlPageFetcher();
    ~CurlPageFetcher() override;

    void fetch(const QString& url, Done done) override;

private:
    std::unique_ptr<CurlEventLoop> m_loop;
};

} // namespace net
