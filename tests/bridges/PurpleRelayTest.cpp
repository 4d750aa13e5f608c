// verbolt-purple started while another runs: with --conversation it hands the conversation to the running bridge
// and ends; without, it says how to switch.
#include "ChatHostBus.h"
#include "ChildProcess.h"
#include "StandIns.h"
#include "WaitUntil.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

TEST(PurpleRelay, SecondBridgeHandsTheConversationToTheRunningOne)
{
    PurpleStandIn purple;
    Child running(u"verbolt-purple"_s);
    running.process().start(QStringLiteral(VERBOLT_PURPLE_BIN), {});
    ASSERT_TRUE(waitUntil([&] { return running.err().contains("ready as") || running.ended(); })) << running.describe();

    Child asking(u"second verbolt-purple"_s);
    asking.process().start(QStringLiteral(VERBOLT_PURPLE_BIN), {u"--conversation"_s, u"#ham"_s});
    ASSERT_TRUE(waitUntil([&] { return asking.ended(); }, std::chrono::seconds(20))) << asking.describe();
    EXPECT_EQ(asking.process().exitCode(), 0) << asking.describe();
    EXPECT_TRUE(asking.err().contains("verbolt-purple: asked the running bridge to follow #ham")) << asking.describe();
    EXPECT_TRUE(waitUntil([&] { return running.err().contains("waiting for the conversation #ham to open"); }))
        << running.describe();

    Child plain(u"third verbolt-purple"_s);
    plain.process().start(QStringLiteral(VERBOLT_PURPLE_BIN), {});
    ASSERT_TRUE(waitUntil([&] { return plain.ended(); }, std::chrono::seconds(20))) << plain.describe();
    EXPECT_EQ(plain.process().exitCode(), 1) << plain.describe();
    EXPECT_TRUE(plain.err().contains("(a running verbolt-purple is switched with --conversation NAME)"))
        << plain.describe();

    EXPECT_FALSE(running.ended()) << running.describe();
    running.process().terminate();
    EXPECT_TRUE(waitUntil([&] { return running.ended(); })) << running.describe();
    EXPECT_TRUE(waitUntil(
        [] { return !QDBusConnection::sessionBus().interface()->isServiceRegistered(ChatHostBus::serviceName); }));
}

} // namespace
