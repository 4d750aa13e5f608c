// Verbolt beside a real libpurple program: ngircd on loopback as the IRC network, Finch (in tmux) as the operator's
// chat program with an IRC account of its own, a partner speaking IRC on a socket, and verbolt-purple,
// verbolt-service and the verbolt window on the private bus and X server this test runs under.
#include "ChildProcess.h"
#include "HostSignals.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

constexpr std::chrono::milliseconds kStartDeadline = 30s;
constexpr std::chrono::milliseconds kChatDeadline = 60s;

QString findProgram(const QString& name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, {u"/usr/sbin"_s, u"/usr/local/sbin"_s}) : found;
}

// The partner: an IRC client on a plain socket, every line it got kept in order.
class IrcPartner
{
public:
    bool connectTo(quint16 port, const QByteArray& nick)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { readLines(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        if (!m_socket.waitForConnected(10000))
            return false;
        send("NICK " + nick);
        send("USER " + nick + " 0 * :Partner");
        return waitFor(" 001 " + nick + ' ');
    }
    void send(const QByteArray& line)
    {
        m_socket.write(line + "\r\n");
        m_socket.flush();
    }
    /// Waits until a line the server sent holds the text.
    bool waitFor(const QByteArray& text, std::chrono::milliseconds limit = kChatDeadline)
    {
        return waitUntil(
            [&] { return std::any_of(m_lines.begin(), m_lines.end(), [&](auto& l) { return l.contains(text); }); },
            limit);
    }
    std::string transcript() const { return m_lines.join('\n').toStdString(); }

private:
    void readLines()
    {
        m_pending += m_socket.readAll();
        for (qsizetype end; (end = m_pending.indexOf("\r\n")) >= 0; m_pending.remove(0, end + 2)) {
            const QByteArray line = m_pending.left(end);
            if (line.startsWith("PING "))
                send("PONG " + line.mid(5));
            m_lines.push_back(line);
        }
    }

    QTcpSocket m_socket;
    QByteArray m_pending;
    QByteArrayList m_lines;
};

class PurpleEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const QString& name : {u"ngircd"_s, u"finch"_s, u"tmux"_s, u"xdotool"_s}) {
            m_programs[name] = findProgram(name);
            if (m_programs[name].isEmpty())
                GTEST_SKIP() << name.toStdString() << " is not installed (scripts/setup.sh installs it)";
        }
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_NO_FATAL_FAILURE(startIrcServer());
        // The partner is in the channel first, so that it sees the operator's Finch join.
        ASSERT_TRUE(m_partner.connectTo(m_ircPort, "partner"));
        m_partner.send("JOIN #ham");
        ASSERT_TRUE(m_partner.waitFor(" JOIN :#ham", kStartDeadline)) << m_partner.transcript();
        ASSERT_NO_FATAL_FAILURE(startFinch());

        m_servicePort = freeLoopbackPort();
        m_service.process().start(QStringLiteral(VERBOLT_SERVICE_BIN),
            {u"--config"_s, QStringLiteral(VERBOLT_OFFLINE_CONF), u"--listen"_s, u"127.0.0.1:%1"_s.arg(m_servicePort)});
        ASSERT_TRUE(waitUntil([&] { return m_service.err().contains("listening"); }, kStartDeadline))
            << m_service.describe();
    }

    void TearDown() override
    {
        if (!m_programs.value(u"tmux"_s).isEmpty())
            runTool(m_programs[u"tmux"_s], {u"-S"_s, tmuxSocket(), u"kill-server"_s});
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString tmuxSocket() const { return path(u"tmux.socket"_s); }

    void writeFile(const QString& name, const QString& text)
    {
        QDir().mkpath(QFileInfo(path(name)).path());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write(text.toUtf8());
    }

    void startIrcServer()
    {
        m_ircPort = freeLoopbackPort();
        ASSERT_NO_FATAL_FAILURE(writeFile(u"ngircd.conf"_s,
            u"[Global]\nName = irc.verbolt.test\nInfo = Verbolt test network\nAdminInfo1 = test\nAdminInfo2 = test\n"
            "AdminEMail = test@verbolt.test\nListen = 127.0.0.1\nPorts = %1\nMotdPhrase = test\n"
            "[Limits]\nMaxNickLength = 30\nMaxPenaltyTime = 0\n[Options]\nPAM = no\nIdent = no\nDNS = no\n"_s.arg(
                m_ircPort)));
        m_ircd.process().start(m_programs[u"ngircd"_s], {u"--nodaemon"_s, u"--config"_s, path(u"ngircd.conf"_s)});
        ASSERT_TRUE(waitUntil([&] { return m_ircd.out().contains(" ready."); }, kStartDeadline)) << m_ircd.describe();
    }

    // Finch with one IRC account on the test's server, set to sign on at start and join #ham.
    void startFinch()
    {
        const QString account = u"oper@127.0.0.1"_s;
        ASSERT_NO_FATAL_FAILURE(writeFile(u"home/.purple/accounts.xml"_s,
            u"<?xml version='1.0' encoding='UTF-8' ?>\n<account version='1.0'><account>"
            "<protocol>prpl-irc</protocol><name>%1</name><settings>"
            "<setting name='port' type='int'>%2</setting><setting name='encoding' type='string'>UTF-8</setting>"
            "</settings><settings ui='gnt-purple'><setting name='auto-login' type='bool'>1</setting></settings>"
            "</account></account>\n"_s.arg(account)
                .arg(m_ircPort)));
        ASSERT_NO_FATAL_FAILURE(writeFile(u"home/.purple/blist.xml"_s,
            u"<?xml version='1.0' encoding='UTF-8' ?>\n<purple version='1.0'><blist><group name='Chats'>"
            "<chat proto='prpl-irc' account='%1'><component name='channel'>#ham</component>"
            "<setting name='gnt-autojoin' type='bool'>1</setting></chat></group></blist><privacy/></purple>\n"_s.arg(
                account)));
        const QString home = path(u"home"_s);
        runTool(m_programs[u"tmux"_s],
            {u"-S"_s, tmuxSocket(), u"-f"_s, u"/dev/null"_s, u"new-session"_s, u"-d"_s, u"-s"_s, u"finch"_s, u"-x"_s,
                u"160"_s, u"-y"_s, u"45"_s, u"-e"_s, u"HOME="_s + home, m_programs[u"finch"_s], u"-c"_s,
                home + u"/.purple"_s});
        ASSERT_TRUE(m_partner.waitFor(":oper!", kStartDeadline)) << m_partner.transcript() << "\nFinch shows:\n"
                                                                 << finchScreen().toStdString();
    }

    QString finchScreen()
    {
        return runTool(m_programs[u"tmux"_s], {u"-S"_s, tmuxSocket(), u"capture-pane"_s, u"-p"_s, u"-t"_s, u"finch"_s});
    }

    void quitFinch()
    {
        runTool(m_programs[u"tmux"_s], {u"-S"_s, tmuxSocket(), u"send-keys"_s, u"-t"_s, u"finch"_s, u"M-q"_s});
    }

    void startBridge(Child& bridge, const QStringList& args)
    {
        bridge.process().start(QStringLiteral(VERBOLT_PURPLE_BIN), args);
        ASSERT_TRUE(waitUntil([&] { return bridge.err().contains("ready as oper"); }, kStartDeadline))
            << bridge.describe();
    }

    // The window, translating English (the operator's) and Spanish (the partner's).
    void startWindow()
    {
        ASSERT_NO_FATAL_FAILURE(writeFile(u"config/Verbolt.ini"_s,
            u"[SETTINGS]\r\nTextFrom=English\r\nTextTo=Espa\u00f1ol\r\nUseTr=1\r\nTimeStamp=0\r\n"
            "ServiceHost=127.0.0.1:%1\r\nStatsHost=127.0.0.1:%1\r\n"_s.arg(m_servicePort)));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, path(u"config"_s));
        env.insert(u"XDG_STATE_HOME"_s, path(u"config"_s));
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

    bool hostRaised(const QString& text)
    {
        return waitUntil(
            [&] { return std::find(m_host.texts.begin(), m_host.texts.end(), text) != m_host.texts.end(); },
            kChatDeadline);
    }

    // The service logs each request with its pair and status: the window asked for a translation and got one.
    bool translated(const QByteArray& pair, int count)
    {
        return waitUntil([&] { return m_service.err().count(pair + " 200") >= count; }, kChatDeadline);
    }

    void screenshot(const QString& name)
    {
        const QString dir = QStringLiteral(VERBOLT_ARTIFACT_DIR);
        QDir().mkpath(dir);
        runTool(u"import"_s, {u"-window"_s, m_windowId, QDir(dir).filePath(name)});
    }

    QTemporaryDir m_dir;
    QHash<QString, QString> m_programs;
    quint16 m_ircPort = 0;
    quint16 m_servicePort = 0;
    HostSignals m_host;
    Child m_ircd{u"ngircd"_s};
    Child m_service{u"verbolt-service"_s};
    IrcPartner m_partner;
    Child m_bridge{u"verbolt-purple"_s};
    Child m_window{u"verbolt"_s};
    QString m_windowId;
};

TEST_F(PurpleEndToEnd, PrivateConversationBothWaysWithMarkupAsText)
{
    ASSERT_NO_FATAL_FAILURE(startBridge(m_bridge, {u"--conversation"_s, u"partner"_s}));
    EXPECT_TRUE(m_bridge.err().contains("waiting for the conversation partner to open")) << m_bridge.describe();
    ASSERT_NO_FATAL_FAILURE(startWindow());

    // The first message opens the conversation: it must arrive all the same, markup as typed.
    m_partner.send("PRIVMSG oper :Hola <b>amigo</b> & co");
    ASSERT_TRUE(hostRaised(u"partner>Hola <b>amigo</b> & co"_s)) << m_bridge.describe();
    EXPECT_TRUE(m_bridge.err().contains("following partner (private conversation, as oper)")) << m_bridge.describe();
    ASSERT_TRUE(translated("es|en", 1)) << m_service.describe() << m_window.describe();

    typeLine(u"Good morning, my friend. <b>5 > 3 & co</b>"_s);
    ASSERT_TRUE(m_partner.waitFor("PRIVMSG partner :Buenos d\xc3\xad"
                                  "as, amigo m\xc3\xad"
                                  "o. <b>5 > 3 & co</b>"))
        << m_partner.transcript() << m_service.describe() << m_window.describe();
    screenshot(u"purple-private.png"_s);

    // Finch killed says nothing on the bus; its name going away closes the host all the same.
    ::kill(runTool(m_programs[u"tmux"_s], {u"-S"_s, tmuxSocket(), u"list-panes"_s, u"-F"_s, u"#{pane_pid}"_s}).toInt(),
        SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return m_window.ended() && m_bridge.ended(); }, kStartDeadline))
        << m_bridge.describe() << m_window.describe();
    EXPECT_EQ(m_host.closings, 1);
    EXPECT_TRUE(m_bridge.err().contains("the chat program left the session bus; closing")) << m_bridge.describe();
}

TEST_F(PurpleEndToEnd, ChannelThenSwitchedToAPrivateConversationThenFinchQuits)
{
    ASSERT_NO_FATAL_FAILURE(startBridge(m_bridge, {}));
    EXPECT_TRUE(m_bridge.err().contains("following #ham (chat, as oper)")) << m_bridge.describe();
    ASSERT_NO_FATAL_FAILURE(startWindow());

    // IRC bold reaches libpurple as markup and is dropped; what the partner typed as markup stays text.
    m_partner.send("PRIVMSG #ham :\x02Hola\x02 a <i>todos</i>");
    ASSERT_TRUE(hostRaised(u"partner>Hola a <i>todos</i>"_s)) << m_bridge.describe();
    ASSERT_TRUE(translated("es|en", 1)) << m_service.describe() << m_window.describe();
    typeLine(u"Good morning"_s);
    ASSERT_TRUE(m_partner.waitFor("PRIVMSG #ham :Buenos d\xc3\xad"
                                  "as"))
        << m_partner.transcript() << m_window.describe();

    // A second bridge hands the conversation over to the running one and ends.
    Child second(u"second verbolt-purple"_s);
    second.process().start(QStringLiteral(VERBOLT_PURPLE_BIN), {u"--conversation"_s, u"partner"_s});
    ASSERT_TRUE(second.process().waitForFinished(int(kStartDeadline.count()))) << second.describe();
    EXPECT_EQ(second.process().exitCode(), 0) << second.describe();
    ASSERT_TRUE(waitUntil([&] { return m_bridge.err().contains("partner is not open; still following #ham"); }))
        << m_bridge.describe();

    // The private conversation opens with its first message, and from then on the channel stays out.
    m_partner.send("PRIVMSG oper :\xc2\xbfQu\xc3\xa9 tal?");
    ASSERT_TRUE(hostRaised(u"partner>\u00bfQu\u00e9 tal?"_s)) << m_bridge.describe();
    m_partner.send("PRIVMSG #ham :no");
    m_partner.send("PRIVMSG oper :bien");
    ASSERT_TRUE(hostRaised(u"partner>bien"_s)) << m_bridge.describe();
    screenshot(u"purple-switched.png"_s);
    EXPECT_EQ(std::count(m_host.texts.begin(), m_host.texts.end(), u"partner>no"_s), 0) << m_bridge.describe();

    quitFinch();
    ASSERT_TRUE(waitUntil([&] { return m_window.ended() && m_bridge.ended(); }, kStartDeadline))
        << m_bridge.describe() << m_window.describe() << finchScreen().toStdString();
    EXPECT_EQ(m_host.closings, 1);
    EXPECT_EQ(m_bridge.process().exitCode(), 0);
    EXPECT_TRUE(m_bridge.err().contains("the chat program is quitting; closing")) << m_bridge.describe();
}

} // namespace
