#include "LoopbackServer.h"
#include "PageFetch.h"
#include "ProxyEnvironment.h"
#include "QtPrinters.h"
#include "TimeLimits.h"
#include "http.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <future>
#include <iostream>

namespace {

struct Outcome {
    QString text;
    qint64 milliseconds;
};

template <typename Call>
Outcome timed(Call call)
{
    QElapsedTimer clock;
    clock.start();
    QString text = call();
    return {text, clock.elapsed()};
}

// A peer that accepts and then stays silent, or stops in the middle of a body, must not hold the caller for
// good. The three transfers run side by side, so the test takes about one idle limit.
TEST(TimeLimit, SilentAndStalledPeersAreGivenUp)
{
    const ProxyEnvironment environment;
    LoopbackServer silent({}, true);
    LoopbackServer stalled("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial", true);
    LoopbackServer silentScript({}, true);

    auto silentFetch = std::async(std::launch::async, [&] {
        return timed([&] { return net::GetUrl(QString::fromLatin1("http://" + silent.hostAndPort() + "/")); });
    });
    auto stalledFetch = std::async(std::launch::async, [&] {
        return timed([&] { return net::GetUrl(QString::fromLatin1("http://" + stalled.hostAndPort() + "/")); });
    });
    int pumps = 0;
    http::setPumpHook([&] { ++pumps; });
    const Outcome post = timed([&] {
        http::HttpOpenPost(QString::fromLatin1(silentScript.hostAndPort()), QStringLiteral("/EP/stats.php"));
        return http::HttpSendPost();
    });
    http::setPumpHook({});
    const Outcome get = silentFetch.get();
    const Outcome partial = stalledFetch.get();

    std::cout << "give-up times: silent GET " << get.milliseconds << " ms, stalled GET " << partial.milliseconds
              << " ms, silent POST " << post.milliseconds << " ms (idle limit " << net::kIdleTimeoutSeconds << " s)\n";
    EXPECT_EQ(get.text, QString());
    EXPECT_EQ(partial.text, QStringLiteral("partial"));
    EXPECT_EQ(post.text, QString());
    EXPECT_EQ(pumps, 1);
    for (const Outcome& outcome : {get, partial, post})
        EXPECT_LT(outcome.milliseconds, 60'000);
}

} // namespace
