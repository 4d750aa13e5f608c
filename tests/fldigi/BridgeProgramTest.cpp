#include "QtPrinters.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

/// A loopback port nothing listens on: taken from the system, then let go.
QString closedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return {};
    const quint16 port = server.serverPort();
    server.close();
    return QString::number(port);
}

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

TEST_P(BridgeProgram, AnswersWithoutFldigi)
{
    const RunCase& c = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (!c.withBus)
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    QStringList arguments = c.arguments;
    arguments.replaceInStrings(QStringLiteral("CLOSED"), closedPort());
    QProcess bridge;
    bridge.setProcessEnvironment(env);
    bridge.start(QStringLiteral(VERBOLT_FLDIGI_BIN), arguments);
    ASSERT_TRUE(bridge.waitForFinished(30000));
    const QByteArray out = bridge.readAllStandardOutput();
    const QByteArray err = bridge.readAllStandardError();
    EXPECT_EQ(bridge.exitCode(), c.exitCode) << err.toStdString();
    EXPECT_TRUE(out.contains(c.stdoutShows)) << out.toStdString();
    EXPECT_TRUE(err.contains(c.stderrShows)) << err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Runs, BridgeProgram,
    ::testing::Values(
        // fldigi not running, or its XML-RPC server elsewhere: nothing answers at the address.
        RunCase{"NoFldigi", {QStringLiteral("--port"), QStringLiteral("CLOSED")}, true, 1, "",
            "fldigi is not running, or its XML-RPC server is off"},
        RunCase{"BadPort", {QStringLiteral("--port"), QStringLiteral("0")}, true, 1, "", "--port needs a port number"}),
    CaseName());

} // namespace
