// verbolt-js8call beside the real JS8Call: JS8Call under the test's X server with a settings file of the test's
// (callsign, TCP API on a free port, no radio), the bridge on the test's private bus, and the window's own chat host
// client (DBusChatHost) talking to it. A second API connection watches JS8Call's transmit side.
#include "ChildProcess.h"
#include "DBusChatHost.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

constexpr std::chrono::milliseconds kStartDeadline = 30s;
constexpr std::chrono::milliseconds kDeadline = 20s;

// A plain client of JS8Call's API: every message JS8Call sent it, in order.
class ApiWatcher
{
public:
    bool connectTo(quint16 port)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] {
            m_pending += m_socket.readAll();
            for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0; m_pending.remove(0, end + 1))
                m_messages.push_back(QJsonDocument::fromJson(m_pending.left(end)).object());
        });
        m_socket.connectToHost(u"127.0.0.1"_s, port);
        return m_socket.waitForConnected(5000);
    }
    void ask(const QString& type)
    {
        const QJsonObject message{{u"type"_s, type}, {u"value"_s, u""_s}, {u"params"_s, QJsonObject()}};
        m_socket.write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
        m_socket.flush();
    }
    /// Whether a message of that type has come whose value holds the text.
    bool heard(const QString& type, const QString& text) const
    {
        return std::any_of(m_messages.begin(), m_messages.end(), [&](const QJsonObject& m) {
            return m.value(u"type"_s).toString() == type && m.value(u"value"_s).toString().contains(text);
        });
    }
    std::string transcript() const
    {
        QStringList lines;
        for (const QJsonObject& m : m_messages)
            lines << QString::fromUtf8(QJsonDocument(m).toJson(QJsonDocument::Compact)).left(300);
        return lines.join(u'\n').toStdString();
    }

private:
    QTcpSocket m_socket;
    QByteArray m_pending;
    std::vector<QJsonObject> m_messages;
};

class Js8CallEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_js8callBin = QStandardPaths::findExecutable(u"js8call"_s);
        if (m_js8callBin.isEmpty())
            GTEST_SKIP() << "js8call is not installed (scripts/setup.sh installs it)";
        ASSERT_TRUE(m_dir.isValid());
        m_apiPort = freeLoopbackPort();
        ASSERT_NO_FATAL_FAILURE(startJs8Call());
        m_bridge.process().start(QStringLiteral(VERBOLT_JS8CALL_BIN),
            {u"--api"_s, u"127.0.0.1:%1"_s.arg(m_apiPort), u"--partner"_s, u"EA4XYZ"_s});
        ASSERT_TRUE(waitUntil([&] { return m_bridge.err().contains("ready as") || m_bridge.ended(); }, kStartDeadline))
            << m_bridge.describe();
        ASSERT_TRUE(m_bridge.err().contains("ready as DL1ABC")) << m_bridge.describe();
    }

    void TearDown() override
    {
        // JS8Call's decoder runs in JS8Call's process group and outlives a JS8Call that did not quit by its menu.
        if (m_js8callGroup > 0)
            ::kill(-m_js8callGroup, SIGKILL);
    }

    void startJs8Call()
    {
        const QString home = m_dir.filePath(u"home"_s), config = m_dir.filePath(u"config"_s),
                      tmp = m_dir.filePath(u"tmp"_s);
        for (const QString& d : {home, config, tmp})
            ASSERT_TRUE(QDir().mkpath(d));
        // JS8Call keeps its settings in $XDG_CONFIG_HOME/JS8Call.ini, group [Configuration]. No rig ("None"), PTT by
        // VOX: nothing to key. Three API connections: the bridge's and this test's.
        QFile ini(config + u"/JS8Call.ini"_s);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[Configuration]\nMyCall=DL1ABC\nMyGrid=JO62\nTCPEnabled=true\n"
                                 "TCPServer=127.0.0.1\nTCPServerPort=%1\nAcceptTCPRequests=true\n"
                                 "TCPMaxConnections=3\nUDPEnabled=false\n")
                      .arg(m_apiPort)
                      .toUtf8());
        ini.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home);
        env.insert(u"XDG_CONFIG_HOME"_s, config);
        env.insert(u"XDG_DATA_HOME"_s, home + u"/data"_s);
        env.insert(u"XDG_CACHE_HOME"_s, home + u"/cache"_s);
        env.insert(u"TMPDIR"_s, tmp);
        env.remove(u"QT_QPA_PLATFORM"_s);
        m_js8call.process().setProcessEnvironment(env);
        // A process group of its own, so that its decoder can be ended with it.
        m_js8call.process().setChildProcessModifier([] { ::setpgid(0, 0); });
        m_js8call.process().start(m_js8callBin, {});
        ASSERT_TRUE(m_js8call.process().waitForStarted(10000)) << m_js8call.describe();
        m_js8callGroup = pid_t(m_js8call.process().processId());

        // Up once its API answers.
        ASSERT_TRUE(waitUntil(
            [&] {
                QTcpSocket probe;
                probe.connectToHost(u"127.0.0.1"_s, m_apiPort);
                return probe.waitForConnected(200) || m_js8call.ended();
            },
            kStartDeadline));
        ASSERT_FALSE(m_js8call.ended()) << m_js8call.describe();
    }

    QTemporaryDir m_dir;
    QString m_js8callBin;
    quint16 m_apiPort = 0;
    pid_t m_js8callGroup = 0;
    Child m_js8call{u"js8call"_s};
    Child m_bridge{u"verbolt-js8call"_s};
};

TEST_F(Js8CallEndToEnd, CallsignSendingAndQuittingGoThroughTheRealApi)
{
    ApiWatcher js8;
    ASSERT_TRUE(js8.connectTo(m_apiPort));
    QString why;
    std::unique_ptr<ChatHost> host = DBusChatHost::create(&why);
    ASSERT_TRUE(host) << why.toStdString();
    bool closed = false;
    QObject::connect(host.get(), &ChatHost::closing, [&] { closed = true; });

    // The callsign is JS8Call's own, read through its API.
    EXPECT_EQ(host->callsign(), std::optional(u"DL1ABC"_s));

    // What JS8Call cannot carry is refused with the reason, and nothing is transmitted.
    std::optional<bool> refused;
    host->sendChatText(u"你好"_s, [&](bool delivered) { refused = delivered; });
    ASSERT_TRUE(waitUntil([&] { return refused.has_value(); }, kDeadline));
    EXPECT_FALSE(*refused);
    EXPECT_TRUE(host->errorString().contains(u"Chinese characters cannot be sent in this mode"_s))
        << host->errorString().toStdString();

    // A Russian line goes out romanised, and the window hears what went out.
    std::optional<bool> delivered;
    host->sendChatText(u"Привет, мир! Ça va?"_s, [&](bool ok) { delivered = ok; });
    ASSERT_TRUE(waitUntil([&] { return delivered.has_value(); }, kDeadline));
    ASSERT_TRUE(*delivered) << host->errorString().toStdString();
    EXPECT_EQ(host->changedText(), std::optional(u"PRIVET MIR! CA VA?"_s));

    // JS8Call's transmit side: the message directed to the partner in its transmit text, and its PTT keyed.
    const QString onAir = u"DL1ABC: EA4XYZ  PRIVET MIR! CA VA?"_s;
    ASSERT_TRUE(waitUntil(
        [&] {
            js8.ask(u"TX.GET_TEXT"_s);
            return waitUntil([&] { return js8.heard(u"TX.TEXT"_s, onAir); }, 300ms);
        },
        kDeadline))
        << js8.transcript();
    EXPECT_TRUE(waitUntil([&] { return js8.heard(u"RIG.PTT"_s, u"on"_s); }, kDeadline)) << js8.transcript();
    EXPECT_FALSE(js8.heard(u"TX.TEXT"_s, u"你"_s));

    // JS8Call quitting closes the host, and the bridge ends.
    ::kill(pid_t(m_js8call.process().processId()), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return closed; }, kDeadline)) << m_bridge.describe();
    ASSERT_TRUE(waitUntil([&] { return m_bridge.ended(); }, kDeadline)) << m_bridge.describe();
    EXPECT_EQ(m_bridge.process().exitCode(), 0) << m_bridge.describe();
    EXPECT_TRUE(m_bridge.err().contains("JS8Call closed its API connection; closing")) << m_bridge.describe();
}

} // namespace
