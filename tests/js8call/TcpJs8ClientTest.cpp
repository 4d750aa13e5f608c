#include "TcpJs8Client.h"
#include "ChildProcess.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;

// A client connected to a loopback server standing in for JS8Call's API: the exact bytes each way.
class TcpApi : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_client, &Js8Client::callsignReceived, [this](const QString& c) { calls.push_back(c); });
        QObject::connect(&m_client, &Js8Client::directedReceived, [this](const Js8Client::Directed& m) {
            directed.push_back(m.from + u'|' + m.to + u'|' + m.cmd + u'|' + m.text);
        });
        QObject::connect(&m_client, &Js8Client::ended, [this](const QString& why) { ended.push_back(why); });
        QString why;
        ASSERT_TRUE(m_client.connectTo(u"127.0.0.1"_s, m_server.serverPort(), 3000, &why)) << why.toStdString();
        ASSERT_TRUE(waitUntil([this] { return m_server.hasPendingConnections(); }));
        m_js8.reset(m_server.nextPendingConnection());
        QObject::connect(m_js8.get(), &QTcpSocket::readyRead, [this] { received += m_js8->readAll(); });
    }

    void say(const QByteArray& bytes)
    {
        m_js8->write(bytes);
        m_js8->flush();
    }

    // What the client said, declared first: the client, ended last, still reports its end.
    QByteArray received;
    std::vector<QString> calls;
    std::vector<QString> directed;
    std::vector<QString> ended;
    QTcpServer m_server;
    TcpJs8Client m_client;
    std::unique_ptr<QTcpSocket> m_js8;
};

TEST_F(TcpApi, RequestsAreOneJsonLineEach)
{
    QString why;
    m_client.requestCallsign();
    ASSERT_TRUE(m_client.sendMessage(u"EA4XYZ HOLA \"AMIGO\""_s, &why)) << why.toStdString();
    const QByteArray expected = R"({"params":{},"type":"STATION.GET_CALLSIGN","value":""})"
                                "\n"
                                R"({"params":{},"type":"TX.SEND_MESSAGE","value":"EA4XYZ HOLA \"AMIGO\""})"
                                "\n";
    ASSERT_TRUE(waitUntil([&] { return received.size() >= expected.size(); }));
    EXPECT_EQ(received, expected);
}

TEST_F(TcpApi, AnswersAndMessagesArriveWhateverTheChunks)
{
    say(R"({"params":{"_ID":1},"type":"STATION.CALL)");
    say(R"(SIGN","value":"DL1ABC"})"
        "\n"
        R"({"params":{"_ID":-1,"FROM":"EA4XYZ","TO":"DL1ABC","CMD":" ","TEXT":"EA4XYZ: DL1ABC  HI \u2662 "},)"
        R"("type":"RX.DIRECTED","value":"EA4XYZ: DL1ABC  HI \u2662 "})"
        "\n"
        "not json\n"
        R"({"params":{},"type":"RX.ACTIVITY","value":"EA4XYZ: DL1ABC  HI"})"
        "\n");
    // A line past the limit is skipped whole; the next one counts again.
    say(QByteArray(TcpJs8Client::maxLineBytes + 10, 'x') + '\n');
    say(R"({"params":{},"type":"STATION.CALLSIGN","value":"DL1ABC/P"})"
        "\n");
    ASSERT_TRUE(waitUntil([this] { return calls.size() == 2; }));
    EXPECT_EQ(calls, (std::vector<QString>{u"DL1ABC"_s, u"DL1ABC/P"_s}));
    EXPECT_EQ(directed, std::vector{u"EA4XYZ|DL1ABC| |EA4XYZ: DL1ABC  HI \u2662 "_s});
    EXPECT_TRUE(ended.empty());
}

struct EndCase {
    const char* name;
    QByteArray said; // then the connection closes
    QString why;
    friend void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }
};

class TcpApiEnd : public TcpApi, public ::testing::WithParamInterface<EndCase>
{
};

TEST_P(TcpApiEnd, EndsOnceWithTheReason)
{
    say(GetParam().said);
    m_js8->disconnectFromHost();
    ASSERT_TRUE(waitUntil([this] { return !ended.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(ended, std::vector{GetParam().why});
    QString why;
    EXPECT_FALSE(m_client.sendMessage(u"EA4XYZ HI"_s, &why));
    EXPECT_EQ(why, u"JS8Call's API is not connected"_s);
}

INSTANTIATE_TEST_SUITE_P(Ends, TcpApiEnd,
    ::testing::Values(EndCase{"Closed", "", u"JS8Call closed its API connection"_s},
        EndCase{"CloseMessage", "{\"type\":\"CLOSE\",\"value\":\"\",\"params\":{}}\n", u"JS8Call is quitting"_s},
        EndCase{"ConnectionsFull", "{\"params\":{},\"type\":\"API.ERROR\",\"value\":\"Connections Full\"}\n",
            u"JS8Call's API refused the connection: Connections Full"_s}),
    CaseName());

TEST(TcpApiStart, NothingListeningSaysSo)
{
    TcpJs8Client client;
    QString why;
    EXPECT_FALSE(client.connectTo(u"127.0.0.1"_s, freeLoopbackPort(), 3000, &why));
    EXPECT_EQ(why, u"Connection refused"_s);
}

} // namespace
