// Persistent connections: several requests on one connection, in turn or pipelined, and when the service closes it.
#include "ServiceTestSupport.h"
#include "http/ReplyEncoding.h"
#include "http/ServiceServer.h"

#include <gtest/gtest.h>

using namespace servicetest;

namespace {

const QByteArray kPath = "/ajax/services/language/translate";

QByteArray ask(const QByteArray& text, const QByteArray& headers = {})
{
    return "GET " + kPath + "?q=" + text + "&langpair=en|es HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

const QByteArray kClose = "Connection: close\r\n";

struct Reply {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// The whole replies in a stream of them, each read by its Content-Length.
QList<Reply> replies(const QByteArray& stream)
{
    QList<Reply> result;
    qsizetype at = 0;
    while (true) {
        const qsizetype end = stream.indexOf("\r\n\r\n", at);
        if (end < 0)
            break;
        Reply reply;
        reply.head = stream.mid(at, end - at);
        reply.status = reply.head.mid(9, 3).toInt();
        const qsizetype length = reply.head.indexOf("Content-Length: ");
        const qsizetype size = length < 0 ? 0 : reply.head.mid(length + 16).split('\r').first().toLongLong();
        if (stream.size() < end + 4 + size)
            break;
        reply.body = stream.mid(end + 4, size);
        result.append(reply);
        at = end + 4 + size;
    }
    return result;
}

struct KeepAliveCase {
    const char* name;
    /// Sent one after the other once the answer to the one before has arrived; pipelined: all at once.
    QList<QByteArray> requests;
    bool pipelined;
    /// The statuses of the replies, in order; the connection is closed after the last.
    QList<int> statuses;
    int maxRequests = 100;
};

void PrintTo(const KeepAliveCase& c, std::ostream* os)
{
    *os << c.name;
}

const KeepAliveCase kCases[] = {
    {"in_turn_until_the_client_says_close", {ask("a"), ask("b"), ask("c", kClose)}, false, {200, 200, 200}},
    {"pipelined_answered_in_order", {ask("a"), ask("b"), ask("c", kClose)}, true, {200, 200, 200}},
    {"idle_after_the_last_is_closed_without_a_word", {ask("a"), ask("b")}, false, {200, 200}},
    {"cap_of_requests_per_connection", {ask("a"), ask("b"), ask("c")}, true, {200, 200}, 2},
    {"a_refusal_ends_the_connection", {"GET /nowhere HTTP/1.1\r\n\r\n", ask("b")}, true, {404}},
    {"a_malformed_request_ends_it", {ask("a"), "BAD\r\n\r\n", ask("c")}, true, {200, 400}},
    {"http_1_0_closes", {"GET " + kPath + "?q=a&langpair=en|es HTTP/1.0\r\n\r\n", ask("b")}, true, {200}},
};

class KeepAlive : public ::testing::TestWithParam<KeepAliveCase>
{
};

} // namespace

TEST_P(KeepAlive, answersEachRequestAndClosesWhenItShould)
{
    const KeepAliveCase& c = GetParam();
    FakeEngine engine;
    service::ServiceLimits limits;
    limits.keepAliveIdleMs = 300;
    limits.maxRequestsPerConnection = c.maxRequests;
    service::ServiceServer server(engine, limits);
    server.setLogSink([](const QString&) {});
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));

    RawExchange exchange(server.serverPort(), c.pipelined ? c.requests.join() : c.requests.first());
    for (qsizetype i = 1; !c.pipelined && i < c.requests.size(); ++i) {
        ASSERT_TRUE(waitUntil([&] { return replies(exchange.received()).size() == i; })) << exchange.received();
        EXPECT_FALSE(exchange.closed());
        exchange.send(c.requests[i]);
    }
    ASSERT_TRUE(exchange.waitClosed()) << exchange.received();

    const QList<Reply> got = replies(exchange.received());
    ASSERT_EQ(got.size(), c.statuses.size()) << exchange.received();
    for (qsizetype i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].status, c.statuses[i]) << i;
        if (got[i].status == 200) {
            EXPECT_EQ(got[i].body, ReplyEncoding::translationReply(u"es:"_qs + QChar(char16_t(u'a' + i))));
        }
        // Only the reply after which the service closes says so.
        const bool last = i + 1 == got.size();
        const bool idleClose = QByteArray(c.name).startsWith("idle");
        EXPECT_EQ(got[i].head.contains("\r\nConnection: close"), last && !idleClose) << i;
    }
    EXPECT_EQ(server.connectionCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, KeepAlive, ::testing::ValuesIn(kCases), CaseName());
