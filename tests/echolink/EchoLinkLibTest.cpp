// verbolt-echolink with the real libecholib on both sides: its EchoLink::Proxy client (what Qtel uses) and a small
// station on 127.0.0.2, both echolink-peer.

#include "ChildProcess.h"
#include "DBusChatHost.h"
#include "EndWithTest.h"
#include "QtPrinters.h"
#include "UpstreamStationLink.h"
#include "WaitUntil.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;

constexpr auto kLimit = std::chrono::seconds(20);

class EchoLinkLib : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QFile password(m_dir.filePath(u"password"_s));
        ASSERT_TRUE(password.open(QIODevice::WriteOnly));
        password.write("Secret\n");
        password.close();
        m_port = freeLoopbackPort();
        endWithTest(m_bridge.process());
        m_bridge.process().start(QStringLiteral(VERBOLT_ECHOLINK_BIN),
            {u"--bind"_s, u"127.0.0.1"_s, u"--listen"_s, u"127.0.0.1:%1"_s.arg(m_port), u"--password-file"_s,
                password.fileName(), u"--chat-encoding"_s, u"windows-1252"_s});
        ASSERT_TRUE(waitUntil([&] { return m_bridge.err().contains("ready") || m_bridge.ended(); }, kLimit))
            << m_bridge.describe();
        ASSERT_FALSE(m_bridge.ended()) << m_bridge.describe();
    }

    void TearDown() override
    {
        m_client.process().closeWriteChannel();
        m_station.process().closeWriteChannel();
        m_bridge.process().terminate();
        EXPECT_TRUE(waitUntil([&] { return m_bridge.ended(); }, kLimit)) << m_bridge.describe();
        EXPECT_EQ(m_bridge.process().exitCode(), 0) << m_bridge.describe();
    }

    static void startPeer(Child& peer, const QStringList& arguments)
    {
        endWithTest(peer.process());
        peer.process().start(QStringLiteral(ECHOLINK_PEER_BIN), arguments);
        ASSERT_TRUE(waitUntil([&] { return peer.out().contains("started\n") || peer.ended(); }, kLimit))
            << peer.describe();
    }
    void startClient(const QString& password)
    {
        startPeer(m_client, {u"client"_s, u"127.0.0.1"_s, QString::number(m_port), u"N0CALL"_s, password});
    }
    static void tell(Child& peer, const QByteArray& line) { peer.process().write(line + '\n'); }
    static bool shows(Child& peer, const QByteArray& text)
    {
        return waitUntil([&] { return peer.out().contains(text); }, kLimit);
    }

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    Child m_bridge{u"verbolt-echolink"_s};
    Child m_client{u"echolink-peer client"_s};
    Child m_station{u"echolink-peer station"_s};
};

TEST_F(EchoLinkLib, AWrongPasswordIsRefused)
{
    startClient(u"guess"_s);
    ASSERT_TRUE(waitUntil([&] { return m_client.err().contains("Bad EchoLink proxy password"); }, kLimit))
        << m_client.describe();
    EXPECT_TRUE(shows(m_client, "proxy lost")) << m_client.describe();
}

TEST_F(EchoLinkLib, TheDirectoryIsReachedOnItsPortOnly)
{
    // A directory server on 127.0.0.4; nothing answers on 127.0.0.3.
    QTcpServer directory;
    ASSERT_TRUE(directory.listen(QHostAddress(u"127.0.0.4"_s), 5200));
    startClient(u"secret"_s);
    ASSERT_TRUE(shows(m_client, "proxy ready")) << m_client.describe();
    tell(m_client, "directory 127.0.0.3");
    EXPECT_TRUE(shows(m_client, "tcp status 111\n")) << m_client.describe();
    EXPECT_TRUE(shows(m_client, "tcp disconnected\n")) << m_client.describe();
    tell(m_client, "directory 127.0.0.4");
    EXPECT_TRUE(shows(m_client, "tcp status 0\ntcp connected\n")) << m_client.describe();
    EXPECT_TRUE(waitUntil([&] { return directory.hasPendingConnections(); }, kLimit));
}

TEST_F(EchoLinkLib, ChatGoesBothWaysThroughTheChatHost)
{
    startPeer(m_station, {u"station"_s, u"127.0.0.2"_s, u"DL1ABC"_s});
    startClient(u"secret"_s);
    ASSERT_TRUE(shows(m_client, "proxy ready")) << m_client.describe();
    tell(m_client, "connect 127.0.0.2");
    ASSERT_TRUE(shows(m_client, "state connected")) << m_client.describe() << m_bridge.describe();
    ASSERT_TRUE(shows(m_station, "state connected")) << m_station.describe();
    ASSERT_TRUE(waitUntil([&] { return m_bridge.err().contains("in QSO with DL1ABC"); }, kLimit))
        << m_bridge.describe();

    QString why;
    std::unique_ptr<ChatHost> host = DBusChatHost::create(&why);
    ASSERT_TRUE(host) << why.toStdString();
    EXPECT_EQ(host->callsign().value_or(u"(none)"_s), u"N0CALL"_s);
    QStringList received;
    QObject::connect(host.get(), &ChatHost::chatTextReceived, [&](const QString& text) { received += text; });

    tell(m_station, "chat Grüße aus Köln");
    ASSERT_TRUE(waitUntil([&] { return !received.isEmpty(); }, kLimit)) << m_bridge.describe();
    EXPECT_EQ(received, QStringList{u"DL1ABC>Grüße aus Köln"_s});
    EXPECT_TRUE(shows(m_client, "chat DL1ABC>Grüße aus Köln")) << m_client.describe();
    // The operator's own chat in Qtel is not raised.
    tell(m_client, "chat from the keyboard");
    ASSERT_TRUE(shows(m_station, "chat N0CALL>from the keyboard")) << m_station.describe();

    bool delivered = false;
    bool done = false;
    host->sendChatText(u"Straße – жизнь"_s, [&](bool ok) {
        delivered = ok;
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done; }, kLimit));
    EXPECT_TRUE(delivered) << host->errorString().toStdString();
    EXPECT_EQ(host->changedText().value_or(u"(as given)"_s), u"Straße – zhizn"_s);
    const QByteArray sent = "chat N0CALL>Stra\xDF"
                            "e \x96 zhizn\n";
    EXPECT_TRUE(shows(m_station, sent)) << m_station.describe();
    // The copy for Qtel's chat pane.
    EXPECT_TRUE(shows(m_client, sent)) << m_client.describe();
    EXPECT_EQ(received.size(), 1);
}

TEST_F(EchoLinkLib, AnUpstreamProxyCarriesTheDirectoryAndRefusesAWrongPassword)
{
    UpstreamStationLink upstream(u"127.0.0.1"_s, m_port, "secret");
    QList<quint32> statuses;
    QObject::connect(&upstream, &StationLink::directoryStatus, [&](quint32 status) { statuses += status; });
    upstream.attach("N0CALL");
    upstream.openDirectory(QHostAddress(u"127.0.0.3"_s).toIPv4Address());
    ASSERT_TRUE(waitUntil([&] { return !statuses.isEmpty(); }, kLimit)) << m_bridge.describe();
    EXPECT_EQ(statuses, QList<quint32>{111});

    UpstreamStationLink wrong(u"127.0.0.1"_s, m_port, "guess");
    QString trouble;
    QObject::connect(&wrong, &StationLink::trouble, [&](const QString& why) { trouble = why; });
    wrong.attach("N0CALL");
    ASSERT_TRUE(waitUntil([&] { return !trouble.isEmpty(); }, kLimit));
    EXPECT_TRUE(trouble.contains(u"refused its password"_s)) << trouble.toStdString();
}

} // namespace
