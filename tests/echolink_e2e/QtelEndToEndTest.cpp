// Verbolt beside the real Qtel: Qtel under the test's X server, with a home of the test's own, logs in to
// verbolt-echolink as its EchoLink proxy and calls a libecholib station on 127.0.0.2 (echolink-peer) with "Connect to
// IP"; the directory server is a loopback address where nothing answers. verbolt-service and the verbolt window
// translate English (the operator's) and German (the partner's) on the test's private bus.
#include "ChildProcess.h"
#include "EndWithTest.h"
#include "HostSignals.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QDBusConnection>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

constexpr std::chrono::milliseconds kStartDeadline = 30s;
constexpr std::chrono::milliseconds kDeadline = 30s;

class QtelEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const QString& name : {u"qtel"_s, u"xdotool"_s, u"xclip"_s}) {
            m_programs[name] = QStandardPaths::findExecutable(name);
            if (m_programs[name].isEmpty())
                GTEST_SKIP() << name.toStdString() << " is not installed (scripts/setup.sh installs it)";
        }
        ASSERT_TRUE(m_dir.isValid());
        m_proxyPort = freeLoopbackPort();
        ASSERT_NO_FATAL_FAILURE(write(u"password"_s, "Secret\n"));
        ASSERT_NO_FATAL_FAILURE(start(m_bridge, QStringLiteral(VERBOLT_ECHOLINK_BIN),
            {u"--bind"_s, u"127.0.0.1"_s, u"--listen"_s, u"127.0.0.1:%1"_s.arg(m_proxyPort), u"--password-file"_s,
                path(u"password"_s)},
            "ready"));
        ASSERT_NO_FATAL_FAILURE(start(
            m_station, QStringLiteral(ECHOLINK_PEER_BIN), {u"station"_s, u"127.0.0.2"_s, u"EA4XYZ"_s}, "started"));
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void write(const QString& name, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    static void start(Child& child, const QString& program, const QStringList& arguments, const QByteArray& ready)
    {
        endWithTest(child.process());
        child.process().start(program, arguments);
        ASSERT_TRUE(
            waitUntil([&] { return child.ended() || child.err().contains(ready) || child.out().contains(ready); },
                kStartDeadline))
            << child.describe();
        ASSERT_FALSE(child.ended()) << child.describe();
    }

    // Focuses window and presses keys until done() holds.
    bool pressUntil(const QString& window, const QStringList& keys, const std::function<bool()>& done)
    {
        return waitUntil(
            [&] {
                xdotool({u"windowfocus"_s, u"--sync"_s, window});
                xdotool(QStringList{u"key"_s, u"--delay"_s, u"300"_s} + keys);
                return waitUntil(done, 2s);
            },
            kStartDeadline);
    }

    QString xdotool(const QStringList& args) { return runTool(m_programs[u"xdotool"_s], args, kStartDeadline); }

    // Qtel as a new user sets it up for a proxy: the first-run dialog is skipped by a callsign, a password and a
    // name; the sound goes nowhere (without a sound device Qtel closes the QSO window).
    void startQtel()
    {
        const QString home = path(u"home"_s);
        ASSERT_NO_FATAL_FAILURE(write(u"home/.config/SvxLink/Qtel.conf"_s,
            u"[General]\nCallsign=N0CALL\nPassword=EchoLink\nName=Operator\nLocation=Test\n"
            "DirectoryServers=127.0.0.9\nProxyEnabled=true\nProxyServer=127.0.0.1\nProxyPort=%1\n"
            "ProxyPassword=Secret\nChatEncoding=windows-1252\nConnectToIp=127.0.0.2\n"_s.arg(m_proxyPort)
                .toUtf8()));
        ASSERT_NO_FATAL_FAILURE(write(u"home/.asoundrc"_s, "pcm.!default { type null }\n"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home);
        env.insert(u"XDG_CONFIG_HOME"_s, home + u"/.config"_s);
        env.remove(u"QT_QPA_PLATFORM"_s);
        m_qtel.process().setProcessEnvironment(env);
        endWithTest(m_qtel.process());
        m_qtel.process().start(m_programs[u"qtel"_s], {});
        ASSERT_TRUE(waitUntil([&] { return m_bridge.err().contains("Qtel connected as N0CALL"); }, kStartDeadline))
            << m_bridge.describe() << m_qtel.describe();
        // The directory is not there: the proxy answered Qtel's attempt with a failure, as a dead server would.
        ASSERT_TRUE(waitUntil(
            [&] {
                return m_qtel.out().contains("could not be established")
                    || m_qtel.err().contains("could not be established");
            },
            kStartDeadline))
            << m_qtel.describe();

        // Station > Connect to IP..., the address Qtel remembers, then Connect in the QSO window.
        const QString main = xdotool({u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"^Qtel - "_s});
        ASSERT_FALSE(main.isEmpty()) << m_qtel.describe();
        // Keys go to the focused window, and a window just shown may not take them yet: pressed until they work.
        const auto window = [&](const QString& name) {
            return xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, name}).section(u'\n', 0, 0);
        };
        QString ask;
        ASSERT_TRUE(pressUntil(main.section(u'\n', 0, 0), {u"Escape"_s, u"alt+s"_s, u"Return"_s}, [&] {
            return !(ask = window(u"Qtel: Connect to IP"_s)).isEmpty();
        })) << m_qtel.describe();
        ASSERT_FALSE(ask.isEmpty()) << m_qtel.describe();
        ASSERT_TRUE(
            pressUntil(ask, {u"Return"_s}, [&] { return !(m_qso = window(u"EchoLink QSO: 127.0.0.2"_s)).isEmpty(); }))
            << m_qtel.describe() << "windows: "
            << xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, u""_s, u"getwindowname"_s, u"%@"_s})
                   .toStdString();
        ASSERT_TRUE(pressUntil(m_qso, {u"alt+c"_s}, [&] { return m_station.out().contains("state connected"); }))
            << m_station.describe() << m_qtel.describe();
        ASSERT_TRUE(waitUntil([&] { return m_bridge.err().contains("in QSO with EA4XYZ"); }, kDeadline))
            << m_bridge.describe();
    }

    // Qtel's chat pane, copied to the clipboard as its operator would.
    QString qtelChatPane()
    {
        // Above the window, which may cover it (there is no window manager to raise it on a click).
        xdotool({u"windowraise"_s, m_qso});
        xdotool({u"windowfocus"_s, u"--sync"_s, m_qso});
        xdotool({u"mousemove"_s, u"--window"_s, m_qso, u"150"_s, u"250"_s, u"click"_s, u"1"_s});
        xdotool({u"key"_s, u"ctrl+a"_s, u"ctrl+c"_s});
        return runTool(m_programs[u"xclip"_s], {u"-o"_s, u"-selection"_s, u"clipboard"_s});
    }

    void startService()
    {
        m_servicePort = freeLoopbackPort();
        ASSERT_NO_FATAL_FAILURE(start(m_service, QStringLiteral(VERBOLT_SERVICE_BIN),
            {u"--config"_s, QStringLiteral(VERBOLT_OFFLINE_CONF), u"--listen"_s, u"127.0.0.1:%1"_s.arg(m_servicePort)},
            "listening"));
    }

    void startWindow()
    {
        ASSERT_NO_FATAL_FAILURE(write(u"config/Verbolt.ini"_s,
            u"[SETTINGS]\r\nTextFrom=English\r\nTextTo=German\r\nUseTr=1\r\nTimeStamp=0\r\n"
            "ServiceHost=127.0.0.1:%1\r\nStatsHost=127.0.0.1:%1\r\n"_s.arg(m_servicePort)
                .toUtf8()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, path(u"config"_s));
        env.insert(u"XDG_STATE_HOME"_s, path(u"config"_s));
        env.remove(u"QT_QPA_PLATFORM"_s);
        m_window.process().setProcessEnvironment(env);
        endWithTest(m_window.process());
        m_window.process().start(QStringLiteral(VERBOLT_BIN), {});
        m_windowId
            = xdotool({u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"Dolmex"_s}).section(u'\n', 0, 0);
        ASSERT_FALSE(m_windowId.isEmpty()) << m_window.describe();
        xdotool({u"windowfocus"_s, u"--sync"_s, m_windowId});
    }

    void typeLine(const QString& text)
    {
        xdotool({u"windowfocus"_s, u"--sync"_s, m_windowId});
        xdotool({u"type"_s, u"--window"_s, m_windowId, u"--delay"_s, u"15"_s, text});
        xdotool({u"key"_s, u"--window"_s, m_windowId, u"Return"_s});
    }

    QByteArray transcript() const
    {
        QFile file(path(u"config/verbolt/"_s + QDate::currentDate().toString(Qt::ISODate) + u".txt"_s));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void screenshot(const QString& name)
    {
        const QString dir = QStringLiteral(VERBOLT_ARTIFACT_DIR);
        QDir().mkpath(dir);
        runTool(u"import"_s, {u"-window"_s, u"root"_s, QDir(dir).filePath(name)});
    }

    QTemporaryDir m_dir;
    QHash<QString, QString> m_programs;
    quint16 m_proxyPort = 0;
    quint16 m_servicePort = 0;
    HostSignals m_host;
    Child m_bridge{u"verbolt-echolink"_s};
    Child m_station{u"the partner's station (echolink-peer)"_s};
    Child m_qtel{u"qtel"_s};
    Child m_service{u"verbolt-service"_s};
    Child m_window{u"verbolt"_s};
    QString m_qso;
    QString m_windowId;
};

TEST_F(QtelEndToEnd, ContactTranslatedBothWaysThroughTheWindow)
{
    ASSERT_NO_FATAL_FAILURE(startQtel());
    ASSERT_NO_FATAL_FAILURE(startService());
    ASSERT_NO_FATAL_FAILURE(startWindow());

    // The partner's German line reaches Qtel as ever, and the window, translated.
    m_station.process().write("chat Guten Morgen, mein Name ist Hans.\n");
    ASSERT_TRUE(
        waitUntil([&] { return transcript().contains("EA4XYZ<< Good morning, my name is Hans.\n"); }, kDeadline))
        << transcript().toStdString() << m_host.transcript() << m_service.describe() << m_window.describe()
        << m_bridge.describe();
    EXPECT_EQ(m_host.texts, std::vector<QString>{u"EA4XYZ>Guten Morgen, mein Name ist Hans."_s});

    // The window's line reaches the partner in German, in the encoding Qtel is set to, and shows in Qtel's chat pane.
    typeLine(u"Thanks for the QSO."_s);
    ASSERT_TRUE(waitUntil(
        [&] {
            return m_station.out().contains("chat N0CALL>Danke f\xFC"
                                            "r das QSO.\n");
        },
        kDeadline))
        << m_station.describe() << m_service.describe() << m_window.describe() << m_bridge.describe();
    QString pane;
    EXPECT_TRUE(waitUntil(
        [&] {
            pane = qtelChatPane();
            return pane.contains(u"EA4XYZ>Guten Morgen, mein Name ist Hans."_s)
                && pane.contains(u"N0CALL>Danke für das QSO."_s);
        },
        kDeadline))
        << pane.toStdString();
    screenshot(u"echolink-qtel.png"_s);

    // Qtel quits: 15 s later the host closes, and the window with it.
    m_qtel.process().terminate();
    ASSERT_TRUE(waitUntil([&] { return m_bridge.ended() && m_window.ended(); }, 45s))
        << m_bridge.describe() << m_window.describe();
    EXPECT_TRUE(m_bridge.err().contains("Qtel has been gone for 15 s; closing")) << m_bridge.describe();
    EXPECT_EQ(m_bridge.process().exitCode(), 0);
    EXPECT_EQ(m_host.closings, 1);
}

} // namespace
