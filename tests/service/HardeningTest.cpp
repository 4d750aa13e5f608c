// What keeps the service answering under held connections and odd reads: the parser's verdict whatever the
// reads, the time a head must arrive in, and a full connection table dropping the oldest connection that waits on
// its client.
#include "http/HttpRequestParser.h"
#include "http/ReplyEncoding.h"
#include "http/ServiceServer.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace servicetest;

namespace {

using State = HttpRequestParser::State;

const QByteArray kPath = "/ajax/services/language/translate";

/// A GET whose head (up to, not including, the empty line) is exactly size bytes.
QByteArray headOfSize(qsizetype size, const QByteArray& lineEnd = "\r\n")
{
    const QByteArray start = "GET / HTTP/1.1" + lineEnd + "X: ";
    return start + QByteArray(size - start.size(), 'x');
}

struct Verdict {
    State state;
    int status;
    QByteArray target;
    QByteArray body;
    bool operator==(const Verdict&) const = default;
};

Verdict feedInPieces(const QByteArray& bytes, qsizetype maxHead, const QList<qsizetype>& cuts)
{
    HttpRequestParser parser(maxHead, 1024);
    qsizetype from = 0;
    for (qsizetype cut : cuts) {
        if (cut > from && cut < bytes.size()) {
            parser.feed(bytes.mid(from, cut - from));
            from = cut;
        }
    }
    parser.feed(bytes.mid(from));
    return {parser.state(), parser.errorStatus(), parser.target(), parser.body()};
}

struct HeadCase {
    const char* name;
    QByteArray bytes;
    qsizetype maxHead;
    State state;
    int status;
};

const qsizetype kCap = 16 * 1024;

const HeadCase kHeads[] = {
    {"one_under_the_cap", headOfSize(kCap - 1) + "\r\n\r\n", kCap, State::Complete, 0},
    {"at_the_cap", headOfSize(kCap) + "\r\n\r\n", kCap, State::Complete, 0},
    {"one_over_the_cap", headOfSize(kCap + 1) + "\r\n\r\n", kCap, State::Error, 431},
    {"bare_line_feeds_at_the_cap", headOfSize(kCap, "\n") + "\n\n", kCap, State::Complete, 0},
    {"bare_line_feeds_over_the_cap", headOfSize(kCap + 1, "\n") + "\n\n", kCap, State::Error, 431},
    {"line_feed_then_crlf", headOfSize(200, "\n") + "\n\r\n", 256, State::Complete, 0},
    {"unfinished_within_the_cap", headOfSize(255) + "\r\n", 256, State::NeedMore, 0},
    {"unfinished_past_the_cap", headOfSize(300), 256, State::Error, 431},
    {"body_follows", "POST " + kPath + " HTTP/1.1\r\nContent-Length: 11\r\n\r\nq=x&l=en|es and more", 256,
        State::Complete, 0},
    {"malformed_request_line", "GARBAGE\r\nX: y\r\n\r\n", 256, State::Error, 400},
};

class SplitHead : public ::testing::TestWithParam<HeadCase>
{
};

} // namespace

TEST_P(SplitHead, sameBytesSameVerdict)
{
    const HeadCase& c = GetParam();
    const Verdict whole = feedInPieces(c.bytes, c.maxHead, {});
    EXPECT_EQ(whole.state, c.state);
    EXPECT_EQ(whole.status, c.status);

    QList<QList<qsizetype>> splits;
    for (qsizetype step : {1, 2, 3, 7, 1000}) {
        QList<qsizetype> cuts;
        for (qsizetype at = step; at < c.bytes.size(); at += step)
            cuts.append(at);
        splits.append(cuts);
    }
    // Two reads, cut around the cap and around the end of the head.
    const qsizetype headEnd = c.bytes.indexOf("\n\r\n") >= 0 ? c.bytes.indexOf("\n\r\n") : c.bytes.indexOf("\n\n");
    for (qsizetype around : {c.maxHead, headEnd}) {
        for (qsizetype at = around - 3; at <= around + 5; ++at)
            splits.append(QList<qsizetype>{at});
    }
    for (const auto& cuts : std::as_const(splits)) {
        EXPECT_EQ(feedInPieces(c.bytes, c.maxHead, cuts), whole)
            << cuts.size() << " cuts, first at " << (cuts.isEmpty() ? 0 : cuts.first());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitHead, ::testing::ValuesIn(kHeads), CaseName());

namespace {

constexpr int kTable = 4;

/// A server with a small connection table, whose heads may take long unless a test says otherwise.
class Slots : public ::testing::Test
{
protected:
    void start(int headTimeoutMs = 60000)
    {
        service::ServiceLimits limits;
        limits.maxConnections = kTable;
        limits.headTimeoutMs = headTimeoutMs;
        limits.requestTimeoutMs = 60000;
        server = std::make_unique<service::ServiceServer>(engine, limits);
        server->setLogSink([this](const QString& line) { log.append(line); });
        ASSERT_TRUE(server->listen(QHostAddress::LocalHost, 0));
    }

    /// Opens a connection that sends bytes and waits until the server has taken it in.
    RawExchange& open(const QByteArray& bytes)
    {
        const qsizetype before = server->connectionCount();
        held.push_back(std::make_unique<RawExchange>(server->serverPort(), bytes));
        // A full table stays full: the newcomer takes the place of the one it drops.
        EXPECT_TRUE(waitUntil([&] {
            return server->connectionCount() > before
                || (before == kTable
                    && std::count_if(held.begin(), held.end(), [](const auto& h) { return h->closed(); }) > dropped);
        }));
        if (before == kTable)
            ++dropped;
        return *held.back();
    }

    FakeEngine engine;
    std::unique_ptr<service::ServiceServer> server;
    QStringList log;
    std::vector<std::unique_ptr<RawExchange>> held;
    int dropped = 0;
};

struct HoldCase {
    const char* name;
    QByteArray bytes;
    int count;
};

const HoldCase kHolds[] = {
    {"silent", {}, kTable},
    {"half_a_head", "GET " + kPath + "?q=x&lang", kTable},
    {"head_without_its_body", "POST " + kPath + " HTTP/1.1\r\nContent-Length: 9\r\n\r\nq=", kTable},
    {"three_tables_of_silent_ones", {}, 3 * kTable},
};

class HeldSlots : public Slots, public ::testing::WithParamInterface<HoldCase>
{
};

} // namespace

TEST_P(HeldSlots, aRealRequestIsAnsweredAndTheOldestHeldOneDropped)
{
    const HoldCase& c = GetParam();
    start();
    for (int i = 0; i < c.count; ++i)
        open(c.bytes);
    RawExchange& request = open(get(kPath + "?q=hi&langpair=en|es"));
    ASSERT_TRUE(request.waitClosed());
    EXPECT_EQ(request.status(), 200);
    EXPECT_EQ(request.body(), ReplyEncoding::translationReply(u"es:hi"_qs));

    // The oldest were dropped, without an answer; the newest held ones are still open.
    const int drops = c.count + 1 - kTable;
    for (int i = 0; i < c.count; ++i) {
        if (i < drops) {
            EXPECT_TRUE(held[i]->waitClosed()) << i;
            EXPECT_TRUE(held[i]->received().isEmpty()) << i;
        } else {
            EXPECT_FALSE(held[i]->closed()) << i;
        }
    }
    EXPECT_EQ(engine.calls.size(), 1);
    EXPECT_EQ(log.filter(u"connection table full"_qs).size(), 1) << log.join(u'\n');
}

INSTANTIATE_TEST_SUITE_P(Cases, HeldSlots, ::testing::ValuesIn(kHolds), CaseName());

TEST_F(Slots, aTableOfRequestsInTheEngineRefusesTheNewcomer)
{
    start();
    engine.holdAnswers = true;
    for (int i = 0; i < kTable; ++i)
        open(get(kPath + "?q=" + QByteArray::number(i) + "&langpair=en|es"));
    ASSERT_TRUE(waitUntil([&] { return engine.held() == kTable; }));
    RawExchange refused(server->serverPort(), get(kPath + "?q=late&langpair=en|es"));
    ASSERT_TRUE(refused.waitClosed());
    EXPECT_EQ(refused.status(), 503);
    engine.release();
    for (int i = 0; i < kTable; ++i) {
        ASSERT_TRUE(held[i]->waitClosed());
        EXPECT_EQ(held[i]->body(), ReplyEncoding::translationReply(u"es:"_qs + QString::number(i)));
    }
}

TEST_F(Slots, theHeadHasAShortTimeTheBodyTheRequestTime)
{
    start(200);
    RawExchange& dribble = open("GET " + kPath + "?q=slow");
    RawExchange& body = open("POST " + kPath + " HTTP/1.1\r\nContent-Length: 21\r\nConnection: close\r\n\r\nq=slow");
    ASSERT_TRUE(dribble.waitClosed());
    EXPECT_EQ(dribble.status(), 408);
    EXPECT_FALSE(body.closed());
    body.send("&langpair=en|es");
    ASSERT_TRUE(body.waitClosed());
    EXPECT_EQ(body.body(), ReplyEncoding::translationReply(u"es:slow"_qs));
}
