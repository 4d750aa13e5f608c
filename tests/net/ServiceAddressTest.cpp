// Where the window and the usage report reach the service: a setting read as a socket or host:port, and requests
// that go straight there, never through a proxy, with the same bytes over a socket as over TCP.
#include "ServiceAddress.h"
#include "CurlPageFetcher.h"
#include "LoopbackServer.h"
#include "ProxyEnvironment.h"
#include "QtPrinters.h"
#include "UsageReport.h"
#include "WaitUntil.h"
#include "http.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using net::ServiceAddress;

struct ParseCase {
    const char* name;
    QString setting;
    bool valid;
    QString socketPath; // empty: TCP
    QString authority;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << c.name;
}

class ServiceAddressParse : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(ServiceAddressParse, ReadsASocketPathOrHostAndPort)
{
    const ParseCase& c = GetParam();
    QString why;
    const ServiceAddress address = ServiceAddress::parse(c.setting, &why);
    EXPECT_EQ(address.isValid(), c.valid) << why;
    EXPECT_EQ(why.isEmpty(), c.valid) << why;
    if (!c.valid)
        return;
    const QString socket = c.socketPath == u"default" ? ServiceAddress::defaultSocketPath() : c.socketPath;
    EXPECT_EQ(address.socketPath(), socket);
    EXPECT_EQ(address.authority(), c.authority);
    EXPECT_EQ(address.toString(), socket.isEmpty() ? c.authority : socket);
}

const QString kLocal = QStringLiteral("localhost");

INSTANTIATE_TEST_SUITE_P(Settings, ServiceAddressParse,
    ::testing::Values(ParseCase{"Empty", {}, true, "default", kLocal},
        ParseCase{"Blank", QStringLiteral("  "), true, "default", kLocal},
        ParseCase{"SocketPath", QStringLiteral("/tmp/v/service.sock"), true, "/tmp/v/service.sock", kLocal},
        ParseCase{"Ipv4AndPort", QStringLiteral("127.0.0.1:2738"), true, {}, QStringLiteral("127.0.0.1:2738")},
        ParseCase{
            "NameAlone", QStringLiteral("translate.example.org"), true, {}, QStringLiteral("translate.example.org")},
        ParseCase{"Ipv6AndPort", QStringLiteral("[::1]:2738"), true, {}, QStringLiteral("[::1]:2738")},
        ParseCase{"SpacesAround", QStringLiteral(" localhost:80 "), true, {}, QStringLiteral("localhost:80")},
        ParseCase{"PortZero", QStringLiteral("127.0.0.1:0"), false, {}, {}},
        ParseCase{"PortTooLarge", QStringLiteral("127.0.0.1:65536"), false, {}, {}},
        ParseCase{"EmptyPort", QStringLiteral("127.0.0.1:"), false, {}, {}},
        ParseCase{"UserInfo", QStringLiteral("user:secret@evil.example:80"), false, {}, {}},
        ParseCase{"PathAfterHost", QStringLiteral("evil.example/x?"), false, {}, {}},
        ParseCase{"RelativePath", QStringLiteral("run/service.sock"), false, {}, {}},
        ParseCase{"OpenBracket", QStringLiteral("[::1:2738"), false, {}, {}},
        ParseCase{"SocketPathTooLong", u'/' + QString(120, u'a'), false, {}, {}}),
    CaseName());

TEST(ServiceAddressDefault, IsTheSocketInTheRuntimeDirectory)
{
    const std::optional<QByteArray> saved
        = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR") ? std::optional(qgetenv("XDG_RUNTIME_DIR")) : std::nullopt;
    const QString fallback = QStringLiteral("/run/user/%1/verbolt/service.sock").arg(::getuid());
    for (const auto& [value, expected] :
        {std::pair<const char*, QString>{"/run/user/4711", "/run/user/4711/verbolt/service.sock"},
            {"/run/user/4711/", "/run/user/4711/verbolt/service.sock"}, {"relative", fallback}, {"", fallback}}) {
        qputenv("XDG_RUNTIME_DIR", value);
        EXPECT_EQ(ServiceAddress::defaultSocketPath(), expected) << value;
        EXPECT_EQ(ServiceAddress().socketPath(), expected) << value;
    }
    if (saved)
        qputenv("XDG_RUNTIME_DIR", *saved);
    else
        qunsetenv("XDG_RUNTIME_DIR");
}

// Who sends: the window's page fetch or the usage report; over TCP or the socket.
struct RouteCase {
    const char* name;
    bool report;
    bool socket;
};

void PrintTo(const RouteCase& c, std::ostream* os)
{
    *os << c.name;
}

class NeverThroughAProxy : public ::testing::TestWithParam<RouteCase>
{
protected:
    ProxyEnvironment m_environment;
    QTemporaryDir m_dir;

    // What the service received; the proxy must receive nothing, and what the sender got is the service's answer.
    QByteArray send(const ServiceAddress& address, LoopbackServer& service, LoopbackServer& proxy)
    {
        if (GetParam().report) {
            report::sendUsageReport(
                address.toString(), QStringLiteral("OZ1ABC"), QStringLiteral("P"), QStringLiteral("1"));
            EXPECT_TRUE(waitUntil([] { return !http::isSending(); }));
        } else {
            net::CurlPageFetcher fetcher;
            fetcher.setUnixSocket(address.socketPath());
            std::optional<PageResult> page;
            fetcher.fetch(address.baseUrl() + QStringLiteral("/ajax/services/language/translate?v=1.0&q=a"),
                [&](const PageResult& result) { page = result; });
            EXPECT_TRUE(waitUntil([&] { return page.has_value(); }));
            EXPECT_EQ(page.value_or(PageResult()).body, QStringLiteral("from the service"));
        }
        EXPECT_TRUE(proxy.requests(0).isEmpty());
        const QList<QByteArray> requests = service.requests();
        return requests.size() == 1 ? requests[0] : QByteArray();
    }
};

TEST_P(NeverThroughAProxy, GoesStraightToTheServiceWithTheSameBytes)
{
    ASSERT_TRUE(m_dir.isValid());
    LoopbackServer proxy(httpReply("200 OK", "from the proxy"));
    const QByteArray proxyUrl = "http://" + proxy.hostAndPort();
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        qputenv(name, proxyUrl);

    const QByteArray reply = httpReply("200 OK", "from the service");
    LoopbackServer tcp(reply);
    const QByteArray overTcp = send(ServiceAddress::parse(QString::fromLatin1(tcp.hostAndPort())), tcp, proxy);
    ASSERT_FALSE(overTcp.isEmpty());
    if (!GetParam().socket)
        return;

    const QString path = m_dir.filePath(QStringLiteral("service.sock"));
    LoopbackServer unix(reply, LoopbackServer::UnixSocket{QFile::encodeName(path)});
    const QByteArray overSocket = send(ServiceAddress::parse(path), unix, proxy);
    // Only the name in Host differs: the socket's requests say localhost.
    QByteArray expected = overTcp;
    expected.replace("Host: " + tcp.hostAndPort() + "\r\n", "Host: localhost\r\n");
    EXPECT_NE(expected, overTcp);
    EXPECT_EQ(overSocket, expected);
}

INSTANTIATE_TEST_SUITE_P(Senders, NeverThroughAProxy,
    ::testing::Values(RouteCase{"PageFetchOverTcp", false, false}, RouteCase{"PageFetchOverTheSocket", false, true},
        RouteCase{"UsageReportOverTcp", true, false}, RouteCase{"UsageReportOverTheSocket", true, true}),
    CaseName());

// Who answers on the service's socket: the user's own program, or another user's, who made the socket in a runtime
// folder others can write to and would read every text. The peer's credentials decide, before anything is sent.
struct PeerCase {
    const char* name;
    bool report;
    bool otherUser;
};

void PrintTo(const PeerCase& c, std::ostream* os)
{
    *os << c.name;
}

class PeerOnTheSocket : public ::testing::TestWithParam<PeerCase>
{
protected:
    static void collectWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtWarningMsg)
            s_warnings.append(text);
    }
    static inline QStringList s_warnings;
};

TEST_P(PeerOnTheSocket, GetsTheRequestOnlyWhenItIsTheUsersOwn)
{
    const PeerCase& c = GetParam();
    if (c.otherUser && ::geteuid() != 0)
        GTEST_SKIP() << "listening as another user needs root";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A shared folder, as /tmp is.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::Permissions(0x7777)));
    const QString path = dir.filePath(QStringLiteral("service.sock"));
    const int nobody = 65534;
    LoopbackServer server(httpReply("200 OK", "from the service"),
        LoopbackServer::UnixSocket{QFile::encodeName(path), c.otherUser ? nobody : -1, c.otherUser ? nobody : -1});
    const QString refusal
        = QStringLiteral("another user (uid 65534) answers there, not your own service; nothing was sent");

    if (c.report) {
        s_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
        report::sendUsageReport(path, QStringLiteral("OZ1ABC"), QStringLiteral("P"), QStringLiteral("1"));
        EXPECT_TRUE(waitUntil([] { return !http::isSending(); }));
        qInstallMessageHandler(previous);
        EXPECT_EQ(s_warnings,
            c.otherUser ? QStringList{QStringLiteral("http: post to %1 not sent: %2").arg(path, refusal)}
                        : QStringList());
    } else {
        net::CurlPageFetcher fetcher;
        fetcher.setUnixSocket(path);
        std::optional<PageResult> page;
        fetcher.fetch(QStringLiteral("http://localhost/ajax/services/language/translate?v=1.0&q=a"),
            [&](const PageResult& result) { page = result; });
        ASSERT_TRUE(waitUntil([&] { return page.has_value(); }));
        if (c.otherUser) {
            EXPECT_EQ(page->failure, PageResult::Failure::Other);
            EXPECT_EQ(page->detail, refusal);
            EXPECT_TRUE(page->body.isEmpty()) << page->body;
        } else {
            EXPECT_EQ(page->failure, PageResult::Failure::None) << page->detail;
            EXPECT_EQ(page->body, QStringLiteral("from the service"));
        }
    }
    // Connected, then closed without a byte sent.
    const QList<QByteArray> requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1);
    if (c.otherUser) {
        EXPECT_EQ(requests[0], QByteArray());
    } else {
        EXPECT_TRUE(requests[0].startsWith(c.report ? "POST /EP/stats.php " : "GET /ajax/")) << requests[0].constData();
    }
}

INSTANTIATE_TEST_SUITE_P(Senders, PeerOnTheSocket,
    ::testing::Values(PeerCase{"PageFetchToTheUsersOwn", false, false},
        PeerCase{"PageFetchToAnotherUsers", false, true}, PeerCase{"UsageReportToTheUsersOwn", true, false},
        PeerCase{"UsageReportToAnotherUsers", true, true}),
    CaseName());

TEST(PeerProblem, NoneForAPeerOfTheUsersOwn)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    EXPECT_EQ(ServiceAddress::peerProblem(pair[0]), QString());
    ::close(pair[0]);
    ::close(pair[1]);
    // Not a socket at all: who is at the other end cannot be told.
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    EXPECT_TRUE(ServiceAddress::peerProblem(pipe[0]).startsWith(u"who answers there cannot be told"));
    ::close(pipe[0]);
    ::close(pipe[1]);
}

} // namespace
