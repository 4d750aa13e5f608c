#include "ChildProcess.h"
#include "EndWithTest.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace Qt::StringLiterals;

struct RunCase {
    const char* name;
    QStringList arguments;
    bool withBus;
    bool portsTaken;
    int exitCode;
    const char* stdoutShows;
    const char* stderrShows;
    friend void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
};

class EchoLinkProgram : public ::testing::TestWithParam<RunCase>
{
};

TEST_P(EchoLinkProgram, EndsSayingWhy)
{
    const RunCase& c = GetParam();
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    QFile password(config.filePath(u"password"_s));
    ASSERT_TRUE(password.open(QIODevice::WriteOnly));
    password.write("Secret\n");
    password.close();
    // What holds the ports when Qtel runs without its proxy.
    QUdpSocket qtel;
    if (c.portsTaken) {
        ASSERT_TRUE(qtel.bind(QHostAddress(u"127.0.0.1"_s), 5198, QAbstractSocket::DontShareAddress));
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, config.path());
    if (!c.withBus)
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
    Child bridge(u"verbolt-echolink"_s);
    bridge.process().setProcessEnvironment(env);
    QStringList arguments = c.arguments;
    arguments.replaceInStrings(u"PASSWORD"_s, password.fileName());
    arguments.replaceInStrings(u"PORT"_s, QString::number(freeLoopbackPort()));
    endWithTest(bridge.process());
    bridge.process().start(QStringLiteral(VERBOLT_ECHOLINK_BIN), arguments);
    ASSERT_TRUE(waitUntil([&] { return bridge.ended(); }, std::chrono::seconds(20))) << bridge.describe();
    EXPECT_EQ(bridge.process().exitCode(), c.exitCode) << bridge.describe();
    EXPECT_TRUE(bridge.out().contains(c.stdoutShows)) << bridge.describe();
    EXPECT_TRUE(bridge.err().contains(c.stderrShows)) << bridge.describe();
}

const QStringList kLocal{u"--bind"_s, u"127.0.0.1"_s, u"--listen"_s, u"127.0.0.1:PORT"_s};
const QStringList kPassword{u"--password-file"_s, u"PASSWORD"_s};

INSTANTIATE_TEST_SUITE_P(Runs, EchoLinkProgram,
    ::testing::Values(RunCase{"Help", {u"--help"_s}, false, false, 0, "--upstream <HOST:PORT[,PASSWORD]>", ""},
        RunCase{"Version", {u"--version"_s}, false, false, 0, "verbolt-echolink 1.", ""},
        RunCase{"NoBus", kLocal + kPassword, false, false, 1, "", "verbolt-echolink: no session bus"},
        RunCase{"PortsTaken", kLocal + kPassword, true, true, 1, "",
            "runs without its proxy turned on and holds them: quit it, start verbolt-echolink, then turn Qtel's proxy"},
        RunCase{"BadListen", {u"--listen"_s, u"localhost"_s}, true, false, 1, "", "--listen needs ADDR:PORT"},
        RunCase{"BadEncoding", {u"--chat-encoding"_s, u"klingon"_s}, true, false, 1, "",
            "--chat-encoding: unknown encoding \"klingon\""},
        RunCase{"BadUpstream", {u"--upstream"_s, u"proxy.example.org"_s}, true, false, 1, "",
            "--upstream needs HOST:PORT[,PASSWORD]"},
        RunCase{"MissingPasswordFile", {u"--password-file"_s, u"/nonexistent/password"_s}, true, false, 1, "",
            "cannot read the password file /nonexistent/password"}),
    CaseName());

TEST(EchoLinkPassword, IsMadeOnFirstStartForTheOperatorOnly)
{
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, config.path());
    Child bridge(u"verbolt-echolink"_s);
    bridge.process().setProcessEnvironment(env);
    const QStringList arguments{u"--bind"_s, u"127.0.0.1"_s, u"--listen"_s, u"127.0.0.1:%1"_s.arg(freeLoopbackPort())};
    endWithTest(bridge.process());
    bridge.process().start(QStringLiteral(VERBOLT_ECHOLINK_BIN), arguments);
    ASSERT_TRUE(waitUntil([&] { return bridge.err().contains("ready") || bridge.ended(); })) << bridge.describe();

    const QString file = config.filePath(u"verbolt/echolink-proxy.password"_s);
    QFile made(file);
    ASSERT_TRUE(made.open(QIODevice::ReadOnly)) << file.toStdString();
    const QByteArray password = made.readAll().trimmed();
    EXPECT_EQ(password.size(), 12);
    struct stat info {
    };
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(bridge.err().contains("made a proxy password, kept in " + file.toUtf8() + ": " + password))
        << bridge.describe();
    EXPECT_TRUE(bridge.err().contains("Network tab, EchoLink Proxy Settings: tick Enable, server 127.0.0.1")) << bridge.describe();

    bridge.process().terminate();
    ASSERT_TRUE(waitUntil([&] { return bridge.ended(); })) << bridge.describe();
    EXPECT_EQ(bridge.process().exitCode(), 0) << bridge.describe();

    // Printed once: the next start reads it and says nothing of it.
    Child again(u"verbolt-echolink"_s);
    again.process().setProcessEnvironment(env);
    endWithTest(again.process());
    again.process().start(QStringLiteral(VERBOLT_ECHOLINK_BIN), arguments);
    ASSERT_TRUE(waitUntil([&] { return again.err().contains("ready") || again.ended(); })) << again.describe();
    EXPECT_FALSE(again.err().contains(password)) << again.describe();
}

} // namespace
