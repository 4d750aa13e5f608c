#include "QtPrinters.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct RunCase {
    const char* name;
    QStringList arguments;
    bool withBus;
    int exitCode;
    const char* stdoutShows;
    const char* stderrShows;
    friend void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
};

class BridgeProgram : public ::testing::TestWithParam<RunCase>
{
};

TEST_P(BridgeProgram, AnswersWithoutAChatProgram)
{
    const RunCase& c = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (!c.withBus)
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    QProcess bridge;
    bridge.setProcessEnvironment(env);
    bridge.start(QStringLiteral(VERBOLT_PURPLE_BIN), c.arguments);
    ASSERT_TRUE(bridge.waitForFinished(10000));
    const QByteArray out = bridge.readAllStandardOutput();
    const QByteArray err = bridge.readAllStandardError();
    EXPECT_EQ(bridge.exitCode(), c.exitCode) << err.toStdString();
    EXPECT_TRUE(out.contains(c.stdoutShows)) << out.toStdString();
    EXPECT_TRUE(err.contains(c.stderrShows)) << err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Runs, BridgeProgram,
    ::testing::Values(RunCase{"NoChatProgram", {}, true, 1, "",
                          "verbolt-purple: no libpurple chat program (Pidgin or Finch) on the session bus"},
        RunCase{"EmptyConversation", {QStringLiteral("--conversation"), QStringLiteral(" ")}, true, 1, "",
            "--conversation needs the name of a conversation"}),
    CaseName());

} // namespace
