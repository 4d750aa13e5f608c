// The window's page fetch and the usage report on the event loop: same bytes as the blocking ones, nothing held.
#include "CurlPageFetcher.h"
#include "LoopbackServer.h"
#include "ProxyEnvironment.h"
#include "QtPrinters.h"
#include "WaitUntil.h"
#include "http.h"

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;

namespace {

std::optional<PageResult> fetch(net::CurlPageFetcher& fetcher, const QString& url)
{
    std::optional<PageResult> result;
    fetcher.fetch(url, [&](const PageResult& page) { result = page; });
    EXPECT_FALSE(result.has_value()) << "answered inside the call";
    waitUntil([&] { return result.has_value(); }, 60s);
    return result;
}

QString urlOf(const LoopbackServer& server)
{
    return QString::fromLatin1("http://" + server.hostAndPort() + "/ajax/services/language/translate?v=1.0&q=a");
}

struct OutcomeCase {
    const char* name;
    std::optional<qsizetype> bodySize; // a server answering that many bytes; none: nothing listens
    PageResult::Failure failure;
};

void PrintTo(const OutcomeCase& c, std::ostream* os)
{
    *os << c.name;
}

class AsyncFetch : public ::testing::TestWithParam<OutcomeCase>
{
protected:
    ProxyEnvironment m_environment;
};

TEST_P(AsyncFetch, BringsTheBodyOrSaysWhatWentWrong)
{
    const OutcomeCase& c = GetParam();
    std::optional<LoopbackServer> server;
    QString url = QStringLiteral("http://127.0.0.1:%1/").arg(LoopbackServer::closedPort());
    if (c.bodySize) {
        server.emplace(httpReply("200 OK", QByteArray(*c.bodySize, 'x')));
        url = urlOf(*server);
    }
    net::CurlPageFetcher fetcher;

    const std::optional<PageResult> page = fetch(fetcher, url);

    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(page->failure, c.failure) << page->detail;
    if (c.failure == PageResult::Failure::None) {
        EXPECT_EQ(page->body.size(), *c.bodySize);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AsyncFetch,
    ::testing::Values(OutcomeCase{"Small", 5, PageResult::Failure::None},
        OutcomeCase{"AtTheCap", PageResult::maxBodyBytes, PageResult::Failure::None},
        OutcomeCase{"OverTheCap", PageResult::maxBodyBytes + 1, PageResult::Failure::TooLarge},
        OutcomeCase{"FiftyMegabytes", 50 * 1024 * 1024, PageResult::Failure::TooLarge},
        OutcomeCase{"NothingListens", std::nullopt, PageResult::Failure::Refused}),
    CaseName());

TEST(AsyncFetchRequest, IsTheSameAsTheBlockingOne)
{
    const ProxyEnvironment environment;
    LoopbackServer server(httpReply("200 OK", "{}"));
    net::CurlPageFetcher fetcher;

    ASSERT_TRUE(fetch(fetcher, urlOf(server)).has_value());

    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    const QList<QByteArray> lines = requests[0].split('\n');
    EXPECT_EQ(lines[0], "GET /ajax/services/language/translate?v=1.0&q=a HTTP/1.1\r");
    for (const QByteArray& header :
        {QByteArray("User-Agent: DERozOzor"), QByteArray("Cache-Control: no-cache"), QByteArray("Pragma: no-cache")})
        EXPECT_TRUE(lines.contains(header + '\r')) << header.toStdString();
}

TEST(AsyncFetchRequest, PostsTheFormAsGivenAndBringsTheAnswer)
{
    const ProxyEnvironment environment;
    for (const QByteArray& form : {QByteArray("engine=deepl&langpair=en%7Cde&q=a%26b"), QByteArray()}) {
        LoopbackServer server(httpReply("400 Bad Request", R"({"ok":false})"));
        net::CurlPageFetcher fetcher;
        std::optional<PageResult> page;
        fetcher.post(QString::fromLatin1("http://" + server.hostAndPort() + "/verbolt/try"), form,
            [&](const PageResult& result) { page = result; });
        ASSERT_TRUE(waitUntil([&] { return page.has_value(); }));

        EXPECT_EQ(page->failure, PageResult::Failure::None);
        EXPECT_EQ(page->body, QStringLiteral(R"({"ok":false})"));
        const QByteArray request = server.requests().value(0);
        EXPECT_TRUE(request.startsWith("POST /verbolt/try HTTP/1.1\r\n")) << request.toStdString();
        EXPECT_TRUE(request.contains("\r\nContent-Length: " + QByteArray::number(form.size()) + "\r\n"));
        EXPECT_TRUE(request.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
        EXPECT_FALSE(request.contains("Expect:"));
        EXPECT_TRUE(request.endsWith("\r\n\r\n" + form)) << request.toStdString();
    }
}

TEST(AsyncFetchRequest, ADestroyedFetcherDropsItsFetchesUnanswered)
{
    const ProxyEnvironment environment;
    LoopbackServer silent({}, true);
    bool answered = false;
    {
        net::CurlPageFetcher fetcher;
        fetcher.fetch(urlOf(silent), [&](const PageResult&) { answered = true; });
        ASSERT_TRUE(waitUntil([&] { return !silent.requests(1, 0ms).isEmpty(); }));
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(answered);
}

TEST(PostInBackground, ReturnsAtOnceAndEndsWhenTheServerDoes)
{
    const ProxyEnvironment environment;
    std::optional<QString> reply;
    {
        LoopbackServer silent({}, true);
        http::HttpOpenPost(QString::fromLatin1(silent.hostAndPort()), QStringLiteral("/EP/stats.php"));
        http::HttpAddField(QStringLiteral("Callsign"), QStringLiteral("OZ1ABC"));
        http::HttpSendPostInBackground([&](const QString& text) { reply = text; });
        // Had the call waited for an answer, it would have given up by now; the request itself is still to come.
        EXPECT_TRUE(silent.requests(1, 0ms).isEmpty());
        EXPECT_FALSE(reply.has_value());

        ASSERT_TRUE(waitUntil([&] { return !silent.requests(1, 0ms).isEmpty(); }));
        EXPECT_TRUE(silent.requests().first().endsWith("\r\n\r\nCallsign=OZ1ABC"));
        EXPECT_FALSE(reply.has_value());
    }
    ASSERT_TRUE(waitUntil([&] { return reply.has_value(); }));
    EXPECT_EQ(*reply, QString());
}

} // namespace
