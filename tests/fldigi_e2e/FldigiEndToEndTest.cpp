// Verbolt beside the real fldigi: a PulseAudio daemon of the test's own with a null sink as the air, two fldigi
// instances on it (the operator's, bridged by verbolt-fldigi, and the partner's, driven through its XML-RPC as its
// operator would type), and verbolt-service and the verbolt window on the private bus and X server this test runs
// under. Everything goes over the air in PSK31.
#include "ChildProcess.h"
#include "HostSignals.h"
#include "QtPrinters.h"
#include "WaitUntil.h"
#include "XmlRpcFldigiClient.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <sys/resource.h>

namespace {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

// Two fldigis, a sound server, the window and the service start on a machine that may be running other suites (the
// sanitizer build's among them) on its few cores.
constexpr std::chrono::milliseconds kStartDeadline = 60s;

// How long a text may take to cross the air. PSK31 sends 31.25 bits a second and no character takes more than 12 of
// them (10 of varicode, 2 between characters); fldigi adds about a second of preamble and postamble. A loaded
// machine's decoder falls behind real time and catches up again, so the limit is twice that, and room for a slow
// turn-around, the bridge's pause at a line's end and a translation.
std::chrono::milliseconds airDeadline(const QString& text)
{
    const std::chrono::milliseconds air(qsizetype(text.size()) * 12 * 1000 * 100 / 3125);
    return 2 * (air + 2s) + 15s;
}

// The air can garble, drop or add a character when a loaded machine starves a sound stream ("DL1YEYZ" for
// "DL1XYZ", an "e" before a line): a line that did not arrive exactly is sent again, this many times at most. What
// arrives must still be the whole line, exactly.
constexpr int kAttempts = 4;

// fldigi is asked about its panes and state a few times a second, as the bridge asks: a tighter loop of calls keeps
// its interface, which shares a lock with the decoder's output, busy, and on a loaded machine the decoder falls
// behind the sound and loses characters.
constexpr std::chrono::milliseconds kFldigiPoll = 250ms;

bool waitPolling(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    QDeadlineTimer next(0);
    return waitUntil(
        [&] {
            if (!next.hasExpired())
                return false;
            next.setRemainingTime(kFldigiPoll);
            return done();
        },
        limit);
}

// One fldigi with settings of its own: a callsign, PulseAudio for sound, no rig control, XML-RPC on a free port.
class Fldigi
{
public:
    explicit Fldigi(const QString& name)
        : m_child(name)
    { }

    void start(const QString& program, const QString& dir, const QString& callsign, const QProcessEnvironment& env)
    {
        QDir().mkpath(dir);
        QFile settings(QDir(dir).filePath(u"fldigi_def.xml"_s));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FLDIGI_DEFS>\n<MYCALL>%1</MYCALL>\n"
                       "<AUDIOIO>2</AUDIOIO>\n<CHKUSEHAMLIBIS>0</CHKUSEHAMLIBIS>\n<CHKUSERIGCATIS>0</CHKUSERIGCATIS>\n"
                       "<CHKUSEXMLRPCIS>0</CHKUSEXMLRPCIS>\n<CONFIRMEXIT>0</CONFIRMEXIT>\n<NAGME>0</NAGME>\n"
                       "</FLDIGI_DEFS>\n"_s.arg(callsign)
                           .toUtf8());
        settings.close();
        port = freeLoopbackPort();
        // fldigi asks PulseAudio for about 10 ms of sound ahead; a loaded machine that is late by more leaves a gap
        // in the carrier, which garbles a character. Half a second ahead rides that out.
        QProcessEnvironment own = env;
        own.insert(u"PULSE_LATENCY_MSEC"_s, u"500"_s);
        m_child.process().setProcessEnvironment(own);
        // Ahead of the other programs a loaded machine runs, as the sound server puts itself, where that is allowed:
        // the decoder has to keep up with the sound in real time.
        m_child.process().setChildProcessModifier(
            [] { [[maybe_unused]] const int ignored = ::setpriority(PRIO_PROCESS, 0, -10); });
        m_child.process().start(program,
            {u"--config-dir"_s, dir + u'/', u"--home-dir"_s, dir + u'/', u"--xmlrpc-server-port"_s,
                QString::number(port)});
        m_client = std::make_unique<XmlRpcFldigiClient>(u"127.0.0.1"_s, port, 2s);
        ASSERT_TRUE(waitPolling([&] { return ended() || m_client->name().has_value(); }, kStartDeadline))
            << m_child.describe();
        ASSERT_FALSE(ended()) << m_child.describe();
    }

    XmlRpcFldigiClient& api() { return *m_client; }
    void kill()
    {
        m_child.process().kill();
        m_child.process().waitForFinished(5000);
    }
    bool ended() const { return m_child.ended(); }
    std::string describe() const { return m_child.describe(); }

    /// Everything the receive pane has shown since start.
    QString rxPane()
    {
        const std::optional<int> length = m_client->rxLength();
        return length ? QString::fromUtf8(m_client->rx(0, *length).value_or(QByteArray())) : QString();
    }
    bool paneShows(const QString& text) { return paneShows(text, airDeadline(text)); }
    bool paneShows(const QString& text, std::chrono::milliseconds limit)
    {
        return waitPolling([&] { return rxPane().contains(text, Qt::CaseInsensitive); }, limit);
    }
    bool isReceiving(std::chrono::milliseconds limit)
    {
        return waitPolling([&] { return m_client->trxState() == FldigiClient::TrxState::Receive; }, limit);
    }
    /// Types a line into the transmit pane, transmits it and returns to receive, as its operator would.
    void send(const QString& line)
    {
        // fldigi's return to receive clears the transmit pane: the line before must be gone.
        ASSERT_TRUE(isReceiving(airDeadline(line)));
        // A line end first, as fldigi's own macros begin: a character decoded from a carrier's edge before it (the
        // last transmission's end, this one's start) stays on a line of its own. A space after the line end: a
        // decoder busy elsewhere may lose the last characters before the carrier drops.
        ASSERT_TRUE(m_client->addTx(u"\n"_s + line + u"\n \n^r"_s)) << m_client->errorString().toStdString();
        ASSERT_TRUE(m_client->transmit()) << m_client->errorString().toStdString();
    }

    quint16 port = 0;

private:
    Child m_child;
    std::unique_ptr<XmlRpcFldigiClient> m_client;
};

class FldigiEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const QString& name : {u"fldigi"_s, u"pulseaudio"_s, u"pactl"_s, u"xdotool"_s}) {
            m_programs[name] = QStandardPaths::findExecutable(name);
            if (m_programs[name].isEmpty())
                GTEST_SKIP() << name.toStdString() << " is not installed (scripts/setup.sh installs it)";
        }
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_NO_FATAL_FAILURE(startAir());
        ASSERT_NO_FATAL_FAILURE(m_operator.start(m_programs[u"fldigi"_s], path(u"operator"_s), u"EA4ABC"_s, m_env));
        ASSERT_NO_FATAL_FAILURE(m_partner.start(m_programs[u"fldigi"_s], path(u"partner"_s), u"DL1XYZ"_s, m_env));
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A PulseAudio daemon in a runtime folder of its own, whose one sink is the air both fldigis share: each plays
    // into it and listens to its monitor.
    void startAir()
    {
        const QString runtime = path(u"runtime"_s);
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        m_env.insert(u"HOME"_s, path(u"home"_s));
        m_env.remove(u"PULSE_SERVER"_s);
        m_env.remove(u"QT_QPA_PLATFORM"_s);
        m_pulse.process().setProcessEnvironment(m_env);
        m_pulse.process().start(m_programs[u"pulseaudio"_s],
            {u"-n"_s, u"--daemonize=no"_s, u"--exit-idle-time=-1"_s, u"--use-pid-file=no"_s, u"--log-target=stderr"_s,
                u"-L"_s, u"module-native-protocol-unix"_s, u"-L"_s, u"module-null-sink sink_name=air"_s});
        ASSERT_TRUE(waitUntil([&] { return m_pulse.ended() || pactl({u"info"_s}).contains(u"air"_s); }, kStartDeadline))
            << m_pulse.describe();
        pactl({u"set-default-sink"_s, u"air"_s});
        pactl({u"set-default-source"_s, u"air.monitor"_s});
        ASSERT_TRUE(pactl({u"info"_s}).contains(u"Default Source: air.monitor"_s)) << m_pulse.describe();
    }

    QString pactl(const QStringList& args)
    {
        QProcess tool;
        tool.setProcessEnvironment(m_env);
        tool.start(m_programs[u"pactl"_s], args);
        if (!tool.waitForFinished(10000)) {
            tool.kill();
            tool.waitForFinished();
        }
        return QString::fromUtf8(tool.readAllStandardOutput());
    }

    void startBridge(const QStringList& extra = {})
    {
        m_bridge.process().start(
            QStringLiteral(VERBOLT_FLDIGI_BIN), QStringList{u"--port"_s, QString::number(m_operator.port)} + extra);
        ASSERT_TRUE(waitUntil([&] { return m_bridge.ended() || m_bridge.err().contains("ready as"); }, kStartDeadline))
            << m_bridge.describe();
        ASSERT_FALSE(m_bridge.ended()) << m_bridge.describe();
    }

    void startService()
    {
        m_servicePort = freeLoopbackPort();
        m_service.process().start(QStringLiteral(VERBOLT_SERVICE_BIN),
            {u"--config"_s, QStringLiteral(VERBOLT_OFFLINE_CONF), u"--listen"_s, u"127.0.0.1:%1"_s.arg(m_servicePort)});
        ASSERT_TRUE(waitUntil([&] { return m_service.err().contains("listening"); }, kStartDeadline))
            << m_service.describe();
    }

    // The window, translating English (the operator's) and Spanish (the partner's).
    void startWindow()
    {
        const QString config = path(u"config"_s);
        QDir().mkpath(config);
        QFile ini(QDir(config).filePath(u"Verbolt.ini"_s));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(u"[SETTINGS]\r\nTextFrom=English\r\nTextTo=Espa\u00f1ol\r\nUseTr=1\r\nTimeStamp=0\r\n"
                  "ServiceHost=127.0.0.1:%1\r\nStatsHost=127.0.0.1:%1\r\n"_s.arg(m_servicePort)
                      .toUtf8());
        ini.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, config);
        env.insert(u"XDG_STATE_HOME"_s, config);
        env.remove(u"QT_QPA_PLATFORM"_s);
        m_window.process().setProcessEnvironment(env);
        m_window.process().start(QStringLiteral(VERBOLT_BIN), {});
        m_windowId = runTool(m_programs[u"xdotool"_s],
            {u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"Dolmex"_s}, kStartDeadline)
                         .section(u'\n', 0, 0);
        ASSERT_FALSE(m_windowId.isEmpty()) << m_window.describe();
        runTool(m_programs[u"xdotool"_s], {u"windowfocus"_s, u"--sync"_s, m_windowId});
    }

    void typeLine(const QString& text)
    {
        runTool(m_programs[u"xdotool"_s], {u"type"_s, u"--window"_s, m_windowId, u"--delay"_s, u"15"_s, text});
        runTool(m_programs[u"xdotool"_s], {u"key"_s, u"--window"_s, m_windowId, u"Return"_s});
    }

    void screenshot(const QString& name)
    {
        const QString dir = QStringLiteral(VERBOLT_ARTIFACT_DIR);
        QDir().mkpath(dir);
        runTool(u"import"_s, {u"-window"_s, m_windowId, QDir(dir).filePath(name)});
    }

    bool hostRaised(const QString& text, std::chrono::milliseconds limit)
    {
        return waitUntil(
            [&] { return std::find(m_host.texts.begin(), m_host.texts.end(), text) != m_host.texts.end(); }, limit);
    }

    /// The partner sends line until the chat host raises it as raised, exactly; false when no attempt got through.
    bool partnerSendsUntilRaised(const QString& line, const QString& raised)
    {
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            m_partner.send(line);
            if (::testing::Test::HasFatalFailure())
                return false;
            if (hostRaised(raised, airDeadline(line)))
                return true;
            std::cerr << "the air garbled \"" << line.toStdString() << "\"; the host raised:\n"
                      << m_host.transcript() << "\n";
        }
        return false;
    }

    /// Sends text through the chat host (as the window would) until the partner's pane shows shown; false when no
    /// attempt got through. attempts counts the texts sent.
    bool operatorSendsUntilShown(const std::function<void()>& send, const QString& shown, int* attempts)
    {
        for (*attempts = 1; *attempts <= kAttempts; ++*attempts) {
            send();
            if (m_partner.paneShows(shown))
                return true;
            std::cerr << "the air garbled \"" << shown.toStdString() << "\"; the partner's pane shows:\n"
                      << m_partner.rxPane().toStdString() << "\n";
            // The garbled text goes off the air before the next.
            if (!m_operator.isReceiving(airDeadline(shown)))
                return false;
        }
        --*attempts;
        return false;
    }

    std::string airLog()
    {
        return m_host.transcript() + "\noperator's pane: " + m_operator.rxPane().toStdString()
            + "\npartner's pane: " + m_partner.rxPane().toStdString() + "\n" + m_bridge.describe();
    }

    QTemporaryDir m_dir;
    QHash<QString, QString> m_programs;
    QProcessEnvironment m_env;
    HostSignals m_host;
    Child m_pulse{u"pulseaudio"_s};
    Fldigi m_operator{u"the operator's fldigi"_s};
    Fldigi m_partner{u"the partner's fldigi"_s};
    Child m_bridge{u"verbolt-fldigi"_s};
    quint16 m_servicePort = 0;
    Child m_service{u"verbolt-service"_s};
    Child m_window{u"verbolt"_s};
    QString m_windowId;
};

TEST_F(FldigiEndToEnd, ApiRoundTripOverTheAirThenFldigiQuits)
{
    ASSERT_NO_FATAL_FAILURE(startBridge());
    EXPECT_TRUE(m_bridge.err().contains("ready as EA4ABC (fldigi 4.")) << m_bridge.describe();
    QDBusInterface station(u"org.verbolt.ChatHost"_s, u"/org/verbolt/ChatHost/StationInfo"_s,
        u"org.verbolt.StationInfo"_s, QDBusConnection::sessionBus());
    EXPECT_EQ(station.property("Callsign").toString(), u"EA4ABC"_s);

    // A text the window sends goes out of the operator's fldigi and is decoded by the partner's.
    QDBusInterface chat(u"org.verbolt.ChatHost"_s, u"/org/verbolt/ChatHost"_s, u"org.verbolt.ChatHost"_s,
        QDBusConnection::sessionBus());
    const QString onAir = u"DL1XYZ de EA4ABC senor, good morning"_s;
    int attempts = 0;
    const auto sendText = [&] {
        const QDBusMessage sent = chat.call(u"SendChatText"_s, u"DL1XYZ de EA4ABC se\u00f1or, good morning"_s);
        ASSERT_EQ(sent.type(), QDBusMessage::ReplyMessage) << sent.errorMessage().toStdString();
        // PSK31's varicode is ASCII: the window hears what went out instead, before the call's answer.
        EXPECT_TRUE(waitUntil([&] { return m_host.sent.size() == size_t(attempts); })) << m_bridge.describe();
        EXPECT_TRUE(waitPolling(
            [&] { return m_operator.api().trxState() == FldigiClient::TrxState::Transmit; }, airDeadline(onAir)))
            << m_operator.describe();
    };
    ASSERT_TRUE(operatorSendsUntilShown(sendText, onAir, &attempts)) << airLog();
    EXPECT_EQ(m_host.sent, std::vector<QString>(size_t(attempts), onAir));
    // Back to receive at the end of the text; its echo in the operator's pane is not the partner's.
    ASSERT_TRUE(m_operator.isReceiving(airDeadline(onAir))) << m_operator.describe();
    EXPECT_TRUE(m_operator.rxPane().contains(u"good morning"_s)) << m_operator.rxPane().toStdString();

    // The partner answers; the callsign comes from "de" in the text, then from the log's Call field.
    ASSERT_TRUE(partnerSendsUntilRaised(u"EA4ABC de DL1XYZ hello"_s, u"DL1XYZ>EA4ABC de DL1XYZ hello"_s)) << airLog();
    ASSERT_TRUE(m_operator.api().call(u"log.set_call"_s, {u"DL2QRP"_s}).has_value());
    ASSERT_TRUE(partnerSendsUntilRaised(u"name is Hans"_s, u"DL2QRP>name is Hans"_s)) << airLog();
    for (const QString& text : m_host.texts)
        EXPECT_FALSE(text.contains(u"good morning"_s)) << m_host.transcript();

    // fldigi quits: the host closes and the bridge ends.
    // Closing reaches this test through the bus, and the bridge's end through its process: either may come first.
    m_operator.api().call(u"fldigi.terminate"_s, {0});
    ASSERT_TRUE(waitUntil([&] { return m_bridge.ended() && m_host.closings > 0; }, kStartDeadline))
        << m_bridge.describe();
    EXPECT_EQ(m_host.closings, 1);
    EXPECT_EQ(m_bridge.process().exitCode(), 0);
    EXPECT_TRUE(m_bridge.err().contains("fldigi has quit")) << m_bridge.describe();
}

TEST_F(FldigiEndToEnd, ContactTranslatedBothWaysThroughTheWindow)
{
    ASSERT_NO_FATAL_FAILURE(startService());
    ASSERT_NO_FATAL_FAILURE(startBridge());
    ASSERT_NO_FATAL_FAILURE(startWindow());

    // Typed in English, translated into Spanish, sent without the accent PSK31 cannot carry, decoded by the partner.
    const QString onAir = u"Buenos dias, amigo mio."_s;
    int attempts = 0;
    const auto typeIt = [&] {
        typeLine(u"Good morning, my friend."_s);
        EXPECT_TRUE(waitUntil([&] { return m_host.sent.size() == size_t(attempts); }, airDeadline(onAir)))
            << m_service.describe() << m_window.describe() << m_bridge.describe();
    };
    ASSERT_TRUE(operatorSendsUntilShown(typeIt, onAir, &attempts))
        << airLog() << m_service.describe() << m_window.describe();
    EXPECT_EQ(m_host.sent, std::vector<QString>(size_t(attempts), onAir));
    screenshot(u"fldigi-sent.png"_s);

    // The partner answers in Spanish once the operator's carrier has gone; it reaches the window, which translates
    // it into English.
    ASSERT_TRUE(m_operator.isReceiving(airDeadline(onAir))) << m_operator.describe();
    ASSERT_TRUE(partnerSendsUntilRaised(u"EA4ABC de DL1XYZ buenos dias"_s, u"DL1XYZ>EA4ABC de DL1XYZ buenos dias"_s))
        << airLog();
    ASSERT_TRUE(waitUntil([&] { return m_service.err().contains("es|en 200"); }, kStartDeadline))
        << m_service.describe() << m_window.describe();
    screenshot(u"fldigi-received.png"_s);

    // fldigi killed: nothing answers at its address any more, and the host closes, and the window with it.
    m_operator.kill();
    ASSERT_TRUE(waitUntil([&] { return m_window.ended() && m_bridge.ended() && m_host.closings > 0; }, kStartDeadline))
        << m_bridge.describe() << m_window.describe();
    EXPECT_EQ(m_host.closings, 1);
}

} // namespace
