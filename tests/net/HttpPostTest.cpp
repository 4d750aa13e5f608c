#include "LoopbackServer.h"
#include "PageFetch.h"
#include "ProxyEnvironment.h"
#include "QtPrinters.h"
#include "TimeLimits.h"
#include "http.h"

#include <gtest/gtest.h>

#include <ostream>

#include <QElapsedTimer>
#include <QStringList>

namespace {

class FormPost : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Every read and pump, in order: "r<bytes>" then "p".
        http::setReadHook([this](qsizetype bytes) { m_events << QStringLiteral("r%1").arg(bytes); });
        http::setPumpHook([this] { m_events << QStringLiteral("p"); });
    }
    void TearDown() override
    {
        http::setReadHook({});
        http::setPumpHook({});
    }

    static QStringList readsThenPumps(const QList<qsizetype>& reads)
    {
        QStringList events;
        for (const qsizetype bytes : reads)
            events << QStringLiteral("r%1").arg(bytes) << QStringLiteral("p");
        return events;
    }

    static QByteArray expectedRequest(const LoopbackServer& server, const QByteArray& path, const QByteArray& body)
    {
        return "POST " + path + " HTTP/1.0\r\nHost: " + server.hostAndPort()
            + "\r\nUser-Agent: Verbolt\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }

    ProxyEnvironment m_environment;
    QStringList m_events;
};

struct BodyCase {
    const char* name;
    QList<QPair<QString, QString>> fields;
    QByteArray body;
};

void PrintTo(const BodyCase& c, std::ostream* os)
{
    *os << c.name;
}

class FormPostBody : public FormPost, public ::testing::WithParamInterface<BodyCase>
{
};

TEST_P(FormPostBody, SendsExactlyThisRequest)
{
    LoopbackServer server(httpReply("200 OK", "ok"));
    http::HttpOpenPost(QString::fromLatin1(server.hostAndPort()), QStringLiteral("/EP/stats.php"));
    for (const auto& [name, value] : GetParam().fields)
        http::HttpAddField(name, value);

    EXPECT_EQ(http::HttpSendPost(), QStringLiteral("ok"));
    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0], expectedRequest(server, "/EP/stats.php", GetParam().body));
}

INSTANTIATE_TEST_SUITE_P(Forms, FormPostBody,
    ::testing::Values(BodyCase{"NoFields", {}, ""}, BodyCase{"OneField", {{"a", "1"}}, "a=1"},
        BodyCase{"SpaceKept", {{"a", "1"}, {"b", "x y"}}, "a=1&b=x y"},
        BodyCase{"EmptyValue", {{"a", ""}, {"b", "2"}}, "a=&b=2"}, BodyCase{"EmptyName", {{"", "v"}}, "=v"},
        BodyCase{"NothingEscaped", {{"q", "1+1=2 & 100%"}}, "q=1+1=2 & 100%"},
        BodyCase{"Utf8", {{"Callsign", QStringLiteral("Ø\u00e6")}}, "Callsign=\xC3\x98\xC3\xA6"}),
    CaseName());

struct ReplyCase {
    const char* name;
    qsizetype size;
    QList<qsizetype> reads;
};

void PrintTo(const ReplyCase& c, std::ostream* os)
{
    *os << c.name;
}

class FormPostReply : public FormPost, public ::testing::WithParamInterface<ReplyCase>
{
};

TEST_P(FormPostReply, ReadsIn1024ByteReadsAndPumpsAfterEach)
{
    QByteArray body(GetParam().size, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('A' + (i * 5 + i / 26) % 26);
    LoopbackServer server(httpReply("200 OK", body));
    http::HttpOpenPost(QString::fromLatin1(server.hostAndPort()), QStringLiteral("/EP/stats.php"));
    http::HttpAddField(QStringLiteral("a"), QStringLiteral("1"));

    EXPECT_EQ(http::HttpSendPost(), QString::fromLatin1(body));
    EXPECT_EQ(m_events, readsThenPumps(GetParam().reads));
}

INSTANTIATE_TEST_SUITE_P(Replies, FormPostReply,
    ::testing::Values(ReplyCase{"Empty", 0, {0}}, ReplyCase{"OneByte", 1, {1, 0}},
        ReplyCase{"OneShort", 1023, {1023, 0}}, ReplyCase{"ExactlyOneRead", 1024, {1024, 0}},
        ReplyCase{"Several", 2500, {1024, 1024, 452, 0}}),
    CaseName());

TEST_F(FormPost, ReturnsTheBodyOfAnErrorReply)
{
    LoopbackServer server(httpReply("500 Internal Server Error", "script failed"));
    http::HttpOpenPost(QString::fromLatin1(server.hostAndPort()), QStringLiteral("/EP/stats.php"));
    EXPECT_EQ(http::HttpSendPost(), QStringLiteral("script failed"));
}

TEST_F(FormPost, GoesStraightToTheServerEvenWithAProxyConfigured)
{
    LoopbackServer proxy(httpReply("200 OK", "proxy"));
    LoopbackServer server(httpReply("200 OK", "direct"));
    qputenv("http_proxy", "http://" + proxy.hostAndPort());
    qputenv("HTTP_PROXY", "http://" + proxy.hostAndPort());
    qputenv("all_proxy", "http://" + proxy.hostAndPort());

    http::HttpOpenPost(QString::fromLatin1(server.hostAndPort()), QStringLiteral("/EP/stats.php"));
    http::HttpAddField(QStringLiteral("a"), QStringLiteral("1"));
    EXPECT_EQ(http::HttpSendPost(), QStringLiteral("direct"));

    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0], expectedRequest(server, "/EP/stats.php", "a=1"));
    // The post is over, so a proxied request would already be recorded.
    EXPECT_TRUE(proxy.requests(0).isEmpty());
}

TEST_F(FormPost, HandlersRunByThePumpCannotStartAnotherPostButMayFetchPages)
{
    LoopbackServer server(httpReply("200 OK", QByteArray(1500, 'x')));
    LoopbackServer other(httpReply("200 OK", "other"));
    LoopbackServer page(httpReply("200 OK", "translated"));
    QStringList nested;
    http::setPumpHook([&] {
        http::HttpOpenPost(QString::fromLatin1(other.hostAndPort()), QStringLiteral("/other"));
        http::HttpAddField(QStringLiteral("nested"), QStringLiteral("1"));
        nested << http::HttpSendPost() << net::GetUrl(QString::fromLatin1("http://" + page.hostAndPort() + "/t"));
    });

    http::HttpOpenPost(QString::fromLatin1(server.hostAndPort()), QStringLiteral("/EP/stats.php"));
    http::HttpAddField(QStringLiteral("a"), QStringLiteral("1"));
    EXPECT_EQ(http::HttpSendPost(), QString(1500, u'x'));

    // Three reads (1024, 476, 0), each followed by one run of the handlers.
    EXPECT_EQ(nested, QStringList({"", "translated", "", "translated", "", "translated"}));
    EXPECT_EQ(server.requests(), QList<QByteArray>({expectedRequest(server, "/EP/stats.php", "a=1")}));
    EXPECT_TRUE(other.requests(0).isEmpty());
    EXPECT_EQ(page.requests(3).size(), 3);

    // The module is free again afterwards.
    http::setPumpHook({});
    http::HttpOpenPost(QString::fromLatin1(other.hostAndPort()), QStringLiteral("/other"));
    EXPECT_EQ(http::HttpSendPost(), QStringLiteral("other"));
}

TEST_F(FormPost, SendingTwiceNeedsASecondOpen)
{
    LoopbackServer server(httpReply("200 OK", "ok"));
    http::HttpOpenPost(QString::fromLatin1(server.hostAndPort()), QStringLiteral("/EP/stats.php"));
    EXPECT_EQ(http::HttpSendPost(), QStringLiteral("ok"));
    m_events.clear();
    EXPECT_EQ(http::HttpSendPost(), QString());
    EXPECT_EQ(m_events, readsThenPumps({0}));
    EXPECT_EQ(server.requests(1).size(), 1);
}

struct UnreachableCase {
    const char* name;
    QString host;
    QString path;
    // How soon an unknown name fails is up to the machine's resolver, not to us.
    bool asksResolver = false;
};

void PrintTo(const UnreachableCase& c, std::ostream* os)
{
    *os << c.name;
}

class FormPostUnreachable : public FormPost, public ::testing::WithParamInterface<UnreachableCase>
{
};

TEST_P(FormPostUnreachable, GivesEmptyTextAfterOneEmptyRead)
{
    QElapsedTimer clock;
    clock.start();
    http::HttpOpenPost(GetParam().host, GetParam().path);
    http::HttpAddField(QStringLiteral("a"), QStringLiteral("1"));

    EXPECT_EQ(http::HttpSendPost(), QString());
    if (!GetParam().asksResolver) {
        EXPECT_LT(clock.elapsed(), net::kConnectTimeoutSeconds * 1000);
    }
    EXPECT_EQ(m_events, readsThenPumps({0}));
}

INSTANTIATE_TEST_SUITE_P(Targets, FormPostUnreachable,
    ::testing::Values(UnreachableCase{"ClosedPort", QStringLiteral("127.0.0.1:%1").arg(LoopbackServer::closedPort()),
                          QStringLiteral("/EP/stats.php")},
        UnreachableCase{"UnknownHost", QStringLiteral("stats.invalid"), QStringLiteral("/EP/stats.php"), true},
        UnreachableCase{"EmptyHost", QString(), QStringLiteral("/EP/stats.php")},
        UnreachableCase{"HostWithUserInfo", QStringLiteral("user@127.0.0.1:%1").arg(LoopbackServer::closedPort()),
            QStringLiteral("/EP/stats.php")},
        UnreachableCase{"HostWithScheme", QStringLiteral("http://stats.invalid"), QStringLiteral("/EP/stats.php")},
        UnreachableCase{"RelativePath", QStringLiteral("stats.invalid"), QStringLiteral("EP/stats.php")}),
    CaseName());

} // namespace
