#include "ChildProcess.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;

// How the stand-in for JS8Call's API behaves, if there is one.
enum class Api { None, Silent, Full };

struct RunCase {
    const char* name;
    QStringList arguments;
    bool withBus;
    Api api;
    int exitCode;
    const char* stdoutShows;
    const char* stderrShows;
    friend void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
};

class Js8Program : public ::testing::TestWithParam<RunCase>
{
};

TEST_P(Js8Program, EndsSayingWhyWithoutJS8Call)
{
    const RunCase& c = GetParam();
    QTcpServer api;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    ASSERT_TRUE(api.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&api, &QTcpServer::newConnection, [&] {
        clients.emplace_back(api.nextPendingConnection());
        if (c.api == Api::Full)
            clients.back()->write("{\"params\":{},\"type\":\"API.ERROR\",\"value\":\"Connections Full\"}\n");
    });
    const quint16 port = c.api == Api::None ? freeLoopbackPort() : api.serverPort();
    if (c.api == Api::None)
        api.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    if (!c.withBus)
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
    Child bridge(u"verbolt-js8call"_s);
    bridge.process().setProcessEnvironment(env);
    QStringList arguments = c.arguments;
    arguments.replaceInStrings(u"PORT"_s, QString::number(port));
    bridge.process().start(QStringLiteral(VERBOLT_JS8CALL_BIN), arguments);
    ASSERT_TRUE(waitUntil([&] { return bridge.ended(); }, std::chrono::seconds(20))) << bridge.describe();
    EXPECT_EQ(bridge.process().exitCode(), c.exitCode) << bridge.describe();
    EXPECT_TRUE(bridge.out().contains(c.stdoutShows)) << bridge.describe();
    EXPECT_TRUE(bridge.err().contains(c.stderrShows)) << bridge.describe();
}

const QStringList kApi{u"--api"_s, u"127.0.0.1:PORT"_s};

INSTANTIATE_TEST_SUITE_P(Runs, Js8Program,
    ::testing::Values(RunCase{"NotRunning", kApi, true, Api::None, 1, "",
                          "JS8Call is not running, or its TCP API is off: nothing answers at 127.0.0.1:"},
        RunCase{"RequestsNotAccepted", kApi, true, Api::Silent, 1, "",
            "does not answer requests, or no callsign is set in JS8Call; in JS8Call's settings"},
        RunCase{
            "ConnectionsFull", kApi, true, Api::Full, 1, "", "JS8Call's API refused the connection: Connections Full"},
        RunCase{"BadPartner", {u"--partner"_s, u"EA4 XYZ"_s}, true, Api::None, 1, "", "--partner needs a callsign"},
        RunCase{"BadGroup", {u"--group"_s, u"NETS"_s}, true, Api::None, 1, "", "--group needs a group name"},
        RunCase{"BadApi", {u"--api"_s, u"localhost"_s}, true, Api::None, 1, "", "--api needs HOST:PORT"}),
    CaseName());

} // namespace
