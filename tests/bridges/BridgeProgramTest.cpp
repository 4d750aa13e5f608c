// What every bridge program does alike, run for real on a private session bus: one row per bridge, each with a
// stand-in for its chat program where it needs one to start.
#include "ChatHostBus.h"
#include "ChildProcess.h"
#include "QtPrinters.h"
#include "StandIns.h"
#include "WaitUntil.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>

namespace {

using namespace Qt::StringLiterals;

struct Bridge {
    const char* name;
    const char* program;
    /// An option only this program's --help names.
    const char* helpShows;
    /// What it says on standard error when a stop signal closes it.
    const char* stopSays;
    std::function<std::unique_ptr<StandIn>()> standIn;
    friend void PrintTo(const Bridge& b, std::ostream* os) { *os << b.name; }
};

class NoStandIn : public StandIn
{
public:
    QStringList arguments() const override { return {}; }
};

template <typename T>
std::unique_ptr<StandIn> make()
{
    return std::make_unique<T>();
}

QString programName(const Bridge& bridge)
{
    return QString::fromUtf8(bridge.program).section(u'/', -1);
}

bool nameIsFree()
{
    return waitUntil(
        [] { return !QDBusConnection::sessionBus().interface()->isServiceRegistered(ChatHostBus::serviceName); });
}

class BridgeProgram : public ::testing::TestWithParam<Bridge>
{
protected:
    void TearDown() override { EXPECT_TRUE(nameIsFree()); }

    // Starts the program with these arguments after the stand-in's, without a display.
    void start(Child& child, const QStringList& arguments, bool withBus = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        if (!withBus)
            env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        child.process().setProcessEnvironment(env);
        child.process().start(QString::fromUtf8(GetParam().program), arguments);
    }

    bool waitEnded(Child& child)
    {
        return waitUntil([&] { return child.ended(); }, std::chrono::seconds(20));
    }
};

TEST_P(BridgeProgram, AnswersHelpAndVersionWithoutABus)
{
    Child help(programName(GetParam()));
    start(help, {u"--help"_s}, false);
    ASSERT_TRUE(waitEnded(help)) << help.describe();
    EXPECT_EQ(help.process().exitCode(), 0) << help.describe();
    EXPECT_TRUE(help.out().contains(GetParam().helpShows)) << help.describe();
    EXPECT_TRUE(help.out().contains("org.verbolt.ChatHost")) << help.describe();

    Child version(programName(GetParam()));
    start(version, {u"--version"_s}, false);
    ASSERT_TRUE(waitEnded(version)) << version.describe();
    EXPECT_EQ(version.process().exitCode(), 0) << version.describe();
    EXPECT_TRUE(version.out().startsWith((programName(GetParam()) + u" 1."_s).toUtf8())) << version.describe();
}

TEST_P(BridgeProgram, EndsSayingSoWithoutASessionBus)
{
    const std::unique_ptr<StandIn> standIn = GetParam().standIn();
    Child bridge(programName(GetParam()));
    start(bridge, standIn->arguments(), false);
    ASSERT_TRUE(waitEnded(bridge)) << bridge.describe();
    EXPECT_EQ(bridge.process().exitCode(), 1) << bridge.describe();
    EXPECT_TRUE(bridge.err().startsWith((programName(GetParam()) + u": no session bus"_s).toUtf8()))
        << bridge.describe();
}

TEST_P(BridgeProgram, RefusesToStartWhileAnotherHostOwnsTheName)
{
    const std::unique_ptr<StandIn> standIn = GetParam().standIn();
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"other-host"_s);
    ASSERT_TRUE(other.registerService(ChatHostBus::serviceName));
    Child bridge(programName(GetParam()));
    start(bridge, standIn->arguments());
    const bool ended = waitEnded(bridge);
    other.unregisterService(ChatHostBus::serviceName);
    QDBusConnection::disconnectFromBus(u"other-host"_s);
    ASSERT_TRUE(ended) << bridge.describe();
    EXPECT_EQ(bridge.process().exitCode(), 1) << bridge.describe();
    EXPECT_TRUE(bridge.err().contains("cannot own the name org.verbolt.ChatHost: another chat host owns it"))
        << bridge.describe();
}

// Counts the Closing signals the chat host raises.
class ClosingCounter : public QObject
{
    Q_OBJECT
public:
    int count = 0;
public slots:
    void onClosing() { ++count; }
};

TEST_P(BridgeProgram, StopSignalRaisesClosingOnceAndEndsCleanly)
{
    const std::unique_ptr<StandIn> standIn = GetParam().standIn();
    Child bridge(programName(GetParam()));
    start(bridge, standIn->arguments());
    const QByteArray ready = (programName(GetParam()) + u": ready as "_s).toUtf8();
    ASSERT_TRUE(waitUntil([&] { return bridge.err().contains(ready) || bridge.ended(); })) << bridge.describe();
    ASSERT_FALSE(bridge.ended()) << bridge.describe();

    ClosingCounter closings;
    ASSERT_TRUE(QDBusConnection::sessionBus().connect(ChatHostBus::serviceName, ChatHostBus::objectPath,
        ChatHostBus::chatHostInterface, u"Closing"_s, &closings, SLOT(onClosing())));
    ::kill(pid_t(bridge.process().processId()), SIGTERM);
    ASSERT_TRUE(waitEnded(bridge)) << bridge.describe();
    EXPECT_EQ(bridge.process().exitStatus(), QProcess::NormalExit) << bridge.describe();
    EXPECT_EQ(bridge.process().exitCode(), 0) << bridge.describe();
    EXPECT_TRUE(waitUntil([&] { return closings.count > 0; })) << bridge.describe();
    EXPECT_EQ(closings.count, 1);
    EXPECT_TRUE(bridge.err().contains(GetParam().stopSays)) << bridge.describe();
    QDBusConnection::sessionBus().disconnect(ChatHostBus::serviceName, ChatHostBus::objectPath,
        ChatHostBus::chatHostInterface, u"Closing"_s, &closings, SLOT(onClosing()));
}

INSTANTIATE_TEST_SUITE_P(Bridges, BridgeProgram,
    ::testing::Values(Bridge{"refhost", VERBOLT_HOST_BIN, "--escapes", "", make<NoStandIn>},
        Bridge{"purple", VERBOLT_PURPLE_BIN, "--conversation <NAME>", "stopped; closing", make<PurpleStandIn>},
        Bridge{"js8call", VERBOLT_JS8CALL_BIN, "--partner <CALL>", "stopped; closing", make<Js8StandIn>},
        Bridge{"fldigi", VERBOLT_FLDIGI_BIN, "--xmlrpc-server-port", "stopped; closing", make<FldigiStandIn>},
        Bridge{"echolink", VERBOLT_ECHOLINK_BIN, "--upstream <HOST:PORT[,PASSWORD]>", "stopped; closing",
            make<EchoLinkStandIn>}),
    CaseName());

} // namespace

#include "BridgeProgramTest.moc"
