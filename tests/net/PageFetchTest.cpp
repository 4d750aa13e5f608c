#include "PageFetch.h"
#include "LoopbackServer.h"
#include "ProxyEnvironment.h"
#include "QtPrinters.h"
#include "TimeLimits.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QElapsedTimer>

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

class PageFetch : public ::testing::Test
{
protected:
    void TearDown() override { net::setReadHook({}); }

    static QString urlOf(const LoopbackServer& server, const QByteArray& pathAndQuery)
    {
        return QString::fromLatin1("http://" + server.hostAndPort() + pathAndQuery);
    }

    ProxyEnvironment m_environment;
};

// Printable, position-dependent bytes: a piece out of place or missing shows.
QByteArray patternBody(qsizetype size)
{
    QByteArray body(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        body[i] = static_cast<char>('!' + (i * 7 + i / 91) % 90);
    return body;
}

TEST_F(PageFetch, SendsTheUrlAsBuiltWithItsAgentAndAsksForAFreshCopy)
{
    LoopbackServer server(httpReply("200 OK", "hello"));
    const QByteArray path = "/ajax/services/language/translate?v=1.0&q=%C3%A6%20b&langpair=da%7Cen";

    EXPECT_EQ(net::GetUrl(urlOf(server, path)), QStringLiteral("hello"));

    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    ASSERT_TRUE(requests[0].endsWith("\r\n\r\n")) << requests[0].toStdString();
    const QList<QByteArray> lines = requests[0].split('\n');
    EXPECT_EQ(lines[0], "GET " + path + " HTTP/1.1\r");
    for (const QByteArray& header : {QByteArray("Host: ") + server.hostAndPort(), QByteArray("User-Agent: DERozOzor"),
             QByteArray("Cache-Control: no-cache"), QByteArray("Pragma: no-cache")})
        EXPECT_TRUE(lines.contains(header + '\r')) << header.toStdString();
    EXPECT_FALSE(requests[0].toLower().contains("cookie"));
}

enum class Framing { Length, CloseDelimited, Chunked };

struct ChunkCase {
    const char* name;
    qsizetype size;
    Framing framing;
    QList<qsizetype> reads;
};

void PrintTo(const ChunkCase& c, std::ostream* os)
{
    *os << c.name;
}

class PageFetchChunks : public PageFetch, public ::testing::WithParamInterface<ChunkCase>
{
};

QByteArray framed(const QByteArray& body, Framing framing)
{
    switch (framing) {
    case Framing::Length: return httpReply("200 OK", body);
    case Framing::CloseDelimited: return "HTTP/1.0 200 OK\r\n\r\n" + body;
    case Framing::Chunked: {
        QByteArray reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
        for (qsizetype at = 0; at < body.size(); at += 700) {
            const QByteArray piece = body.mid(at, 700);
            reply += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
        }
        return reply + "0\r\n\r\n";
    }
    }
    return {};
}

TEST_P(PageFetchChunks, ReadsTheWholeBodyInOrderIn2048ByteReads)
{
    const QByteArray body = patternBody(GetParam().size);
    LoopbackServer server(framed(body, GetParam().framing));
    QList<qsizetype> reads;
    net::setReadHook([&](qsizetype bytes) { reads.append(bytes); });

    EXPECT_EQ(net::GetUrl(urlOf(server, "/page")), QString::fromLatin1(body));
    EXPECT_EQ(reads, GetParam().reads);
}

INSTANTIATE_TEST_SUITE_P(Bodies, PageFetchChunks,
    ::testing::Values(ChunkCase{"Empty", 0, Framing::Length, {0}}, ChunkCase{"OneByte", 1, Framing::Length, {1, 0}},
        ChunkCase{"OneShort", 2047, Framing::Length, {2047, 0}},
        ChunkCase{"ExactlyOneRead", 2048, Framing::Length, {2048, 0}},
        ChunkCase{"OneOver", 2049, Framing::Length, {2048, 1, 0}},
        ChunkCase{"Several", 5000, Framing::Length, {2048, 2048, 904, 0}},
        ChunkCase{"UntilClose", 5000, Framing::CloseDelimited, {2048, 2048, 904, 0}},
        ChunkCase{"ChunkedInSmallPieces", 5000, Framing::Chunked, {2048, 2048, 904, 0}},
        ChunkCase{"Large", 100000, Framing::Length,
            [] {
                QList<qsizetype> reads(48, 2048);
                reads << 100000 - 48 * 2048 << 0;
                return reads;
            }()}),
    CaseName());

class PageFetchStatus : public PageFetch, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(PageFetchStatus, ReturnsTheBodyWhateverTheStatus)
{
    LoopbackServer server(httpReply(GetParam(), "<html>status page</html>"));
    EXPECT_EQ(net::GetUrl(urlOf(server, "/")), QStringLiteral("<html>status page</html>"));
}

INSTANTIATE_TEST_SUITE_P(Statuses, PageFetchStatus,
    ::testing::Values(
        "200 OK", "403 Forbidden", "404 Not Found", "500 Internal Server Error", "503 Service Unavailable"));

TEST_F(PageFetch, FollowsARedirect)
{
    LoopbackServer target(httpReply("200 OK", "moved here"));
    LoopbackServer first("HTTP/1.1 302 Found\r\nLocation: " + urlOf(target, "/new").toLatin1()
        + "\r\nContent-Length: 3\r\nConnection: close\r\n\r\nold");
    EXPECT_EQ(net::GetUrl(urlOf(first, "/old")), QStringLiteral("moved here"));
}

TEST_F(PageFetch, GoesThroughTheProxyTheEnvironmentNames)
{
    LoopbackServer proxy(httpReply("200 OK", "through the proxy"));
    qputenv("http_proxy", "http://" + proxy.hostAndPort());
    // The name only resolves at the proxy: a direct attempt would fail.
    const QByteArray url = "http://translate.example.invalid/ajax/services/language/translate?v=1.0&q=a";

    EXPECT_EQ(net::GetUrl(QString::fromLatin1(url)), QStringLiteral("through the proxy"));
    const QList<QByteArray> requests = proxy.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(requests[0].startsWith("GET " + url + " HTTP/1.1\r\n")) << requests[0].toStdString();
    EXPECT_TRUE(requests[0].contains("\r\nUser-Agent: DERozOzor\r\n"));
}

struct FailureCase {
    const char* name;
    QString url;
    // How soon an unknown name fails is up to the machine's resolver, not to us.
    bool asksResolver = false;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class PageFetchFailure : public PageFetch, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(PageFetchFailure, GivesEmptyTextWithoutWaitingForTheTimeLimit)
{
    QList<qsizetype> reads;
    net::setReadHook([&](qsizetype bytes) { reads.append(bytes); });
    QElapsedTimer clock;
    clock.start();

    EXPECT_EQ(net::GetUrl(GetParam().url), QString());
    if (!GetParam().asksResolver) {
        EXPECT_LT(clock.elapsed(), net::kConnectTimeoutSeconds * 1000);
    }
    EXPECT_EQ(reads, QList<qsizetype>({0}));
}

INSTANTIATE_TEST_SUITE_P(Urls, PageFetchFailure,
    ::testing::Values(
        FailureCase{"ClosedPort", QStringLiteral("http://127.0.0.1:%1/").arg(LoopbackServer::closedPort())},
        FailureCase{"UnknownHost", QStringLiteral("http://no-such-host.invalid/ajax?q=a"), true},
        FailureCase{"Malformed", QStringLiteral("http://[::1/")}, FailureCase{"Empty", QString()},
        FailureCase{"LocalFile", QStringLiteral("file:///etc/hostname")},
        FailureCase{"OtherScheme", QStringLiteral("ftp://127.0.0.1:%1/").arg(LoopbackServer::closedPort())}),
    CaseName());

TEST_F(PageFetch, UrlsLibcurlRefusesNeverReachTheServer)
{
    LoopbackServer server(httpReply("200 OK", "should not be fetched"));
    const QString base = QString::fromLatin1("http://" + server.hostAndPort());
    // Nothing is escaped on the way: the caller percent-encodes what it puts into a URL.
    for (const QString& url : {base + "/a b", base + "/a\r\nX-Injected: 1"})
        EXPECT_EQ(net::GetUrl(url), QString()) << url;
    EXPECT_TRUE(server.requests(0).isEmpty()) << server.requests(0).value(0).toStdString();
}

TEST_F(PageFetch, LettersOutsideAsciiGoOutAsTheirUtf8Bytes)
{
    LoopbackServer server(httpReply("200 OK", "ok"));
    EXPECT_EQ(net::GetUrl(QString::fromLatin1("http://" + server.hostAndPort()) + QStringLiteral("/?q=\u00e6")),
        QStringLiteral("ok"));
    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(requests[0].startsWith("GET /?q=\xC3\xA6 HTTP/1.1\r\n"));
}

// getifaddrs entries built by hand.
struct Interface {
    const char* name;
    unsigned int flags;
    int family; // AF_UNSPEC: no address
};

struct OnlineCase {
    const char* name;
    QList<Interface> interfaces;
    bool online;
};

void PrintTo(const OnlineCase& c, std::ostream* os)
{
    *os << c.name;
}

class InterfaceCheck : public ::testing::TestWithParam<OnlineCase>
{
};

TEST_P(InterfaceCheck, CountsOnlyRunningNonLoopbackInterfacesWithAnAddress)
{
    const QList<Interface>& interfaces = GetParam().interfaces;
    QList<sockaddr_storage> addresses(interfaces.size());
    QList<ifaddrs> entries(interfaces.size());
    for (qsizetype i = 0; i < interfaces.size(); ++i) {
        addresses[i].ss_family = static_cast<sa_family_t>(interfaces[i].family);
        entries[i].ifa_next = i + 1 < interfaces.size() ? &entries[i + 1] : nullptr;
        entries[i].ifa_name = const_cast<char*>(interfaces[i].name);
        entries[i].ifa_flags = interfaces[i].flags;
        entries[i].ifa_addr = interfaces[i].family == AF_UNSPEC ? nullptr : reinterpret_cast<sockaddr*>(&addresses[i]);
    }
    EXPECT_EQ(net::anyInterfaceOnline(entries.isEmpty() ? nullptr : entries.data()), GetParam().online);
}

constexpr unsigned int kUp = IFF_UP | IFF_RUNNING;

INSTANTIATE_TEST_SUITE_P(Lists, InterfaceCheck,
    ::testing::Values(OnlineCase{"None", {}, false},
        OnlineCase{"LoopbackOnly", {{"lo", kUp | IFF_LOOPBACK, AF_INET}, {"lo", kUp | IFF_LOOPBACK, AF_INET6}}, false},
        OnlineCase{"EthernetV4", {{"lo", kUp | IFF_LOOPBACK, AF_INET}, {"eth0", kUp, AF_INET}}, true},
        OnlineCase{"EthernetV6", {{"eth0", kUp, AF_INET6}}, true},
        OnlineCase{"CableOut", {{"eth0", IFF_UP, AF_INET}}, false},
        OnlineCase{"SwitchedOff", {{"eth0", IFF_RUNNING, AF_INET}}, false},
        OnlineCase{"LinkLayerOnly", {{"eth0", kUp, AF_PACKET}}, false},
        OnlineCase{"NoAddress", {{"wg0", kUp, AF_UNSPEC}}, false},
        OnlineCase{"SecondOfMany", {{"eth0", IFF_UP, AF_INET}, {"wlan0", kUp, AF_INET}}, true}),
    CaseName());

} // namespace
