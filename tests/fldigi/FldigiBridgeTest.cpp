#include "FldigiBridge.h"
#include "FakeFldigi.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct Bridged {
    FakeFldigi fldigi;
    std::chrono::milliseconds now{1000};
    FldigiBridge bridge{fldigi, {QString(), 4000ms, 3000ms, 30000ms, [this] { return now; }}};
    QStringList raised;
    Bridged()
    {
        QObject::connect(&bridge, &FldigiBridge::chatTextReceived, [this](const QString& t) { raised << t; });
        QString why;
        EXPECT_TRUE(bridge.start(&why)) << why.toStdString();
    }
    void receive(const QByteArray& chars, std::chrono::milliseconds after = 100ms)
    {
        now += after;
        fldigi.pane += chars;
        bridge.poll();
    }
};

struct CallCase {
    const char* name;
    const char* logCall;
    QByteArray received;
    const char* raised;
};

class CallSource : public testing::TestWithParam<CallCase>
{
};

TEST_P(CallSource, NamesThePartner)
{
    const CallCase& c = GetParam();
    Bridged b;
    b.fldigi.call = c.logCall;
    b.receive(c.received);
    EXPECT_EQ(b.raised, QStringList{c.raised});
}

INSTANTIATE_TEST_SUITE_P(Calls, CallSource,
    testing::Values(CallCase{"logField", "EA4XYZ", "DL1ABC de F5AAA hola\n", "EA4XYZ>DL1ABC de F5AAA hola"},
        CallCase{"deInText", "", "DL1ABC de F5AAA hola\n", "F5AAA>DL1ABC de F5AAA hola"},
        CallCase{"modem", "", "hola que tal\n", "BPSK31>hola que tal"}),
    [](const testing::TestParamInfo<CallCase>& info) { return info.param.name; });

TEST(FldigiBridgeTest, LineAfterAPause)
{
    Bridged b;
    b.receive("hola ");
    b.receive("que tal", 3000ms);
    EXPECT_TRUE(b.raised.isEmpty());
    b.receive("", 4000ms);
    EXPECT_EQ(b.raised, QStringList{"BPSK31>hola que tal"});
}

TEST(FldigiBridgeTest, OwnEchoIsNotThePartners)
{
    Bridged b;
    QString sentAs, why;
    ASSERT_TRUE(b.bridge.sendChatText(QStringLiteral("año bueno"), &sentAs, &why)) << why.toStdString();
    EXPECT_EQ(sentAs, QStringLiteral("ano bueno"));
    EXPECT_TRUE(b.fldigi.tx.contains(QStringLiteral("ano bueno")));
    b.receive("ano bue");
    b.receive("no\n");
    b.fldigi.state = FldigiClient::TrxState::Receive;
    b.receive("", 5000ms);
    b.receive("gracias\n");
    EXPECT_EQ(b.raised, QStringList{"BPSK31>gracias"});
}

TEST(FldigiBridgeTest, RefusesWhatTheModeCannotCarry)
{
    Bridged b;
    QString sentAs, why;
    EXPECT_FALSE(b.bridge.sendChatText(QStringLiteral("你好"), &sentAs, &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_TRUE(b.fldigi.tx.isEmpty());
}

TEST(FldigiBridgeTest, FldigiGoneRaisesClosing)
{
    Bridged b;
    int closing = 0;
    QObject::connect(&b.bridge, &FldigiBridge::closing, [&closing] { ++closing; });
    b.fldigi.running = false;
    b.receive("", 1000ms);
    b.receive("", 3000ms);
    EXPECT_EQ(closing, 1);
}

// Something else answering at fldigi's address: a pane length of anything at all, reads longer than asked for.
struct ClaimCase {
    const char* name;
    int claimedLength;
    int overreach;
    QList<int> asked; // by the first three polls
    const char* closing; // once fldigi has been failing for 30 s; empty: still bridged
};

void PrintTo(const ClaimCase& c, std::ostream* os)
{
    *os << c.name;
}

class ClaimedPane : public testing::TestWithParam<ClaimCase>
{
};

TEST_P(ClaimedPane, IsReadInBoundedPiecesAndHeldToWhatWasAsked)
{
    const ClaimCase& c = GetParam();
    Bridged b;
    QStringList closing;
    QObject::connect(&b.bridge, &FldigiBridge::closing, [&closing](const QString& why) { closing << why; });
    b.fldigi.claimedLength = c.claimedLength;
    b.fldigi.overreach = c.overreach;
    for (int i = 0; i < 3; ++i)
        b.receive("");
    EXPECT_EQ(b.fldigi.asked, c.asked);
    for (int i = 0; i < 31; ++i)
        b.receive("", 1000ms);
    EXPECT_EQ(closing, c.closing[0] ? QStringList{QString::fromUtf8(c.closing)} : QStringList());
    // Nothing that was refused reaches the window.
    if (c.overreach > 0) {
        EXPECT_TRUE(b.raised.isEmpty()) << b.raised.join(u'\n').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, ClaimedPane,
    testing::Values(ClaimCase{"LengthOfTwoGigabytes", 2147483647, 0, {65536, 65536, 65536}, ""},
        ClaimCase{"ShortPaneReadWithMore", 1000, 1, {1000, 1000, 1000},
            "fldigi stopped answering (fldigi answered a read of 1000 bytes with 1001)"},
        ClaimCase{"LongPaneReadWithMore", 2147483647, 100, {65536, 65536, 65536},
            "fldigi stopped answering (fldigi answered a read of 65536 bytes with 65636)"}),
    [](const testing::TestParamInfo<ClaimCase>& info) { return info.param.name; });

} // namespace
