#include "EchoLinkBridge.h"
#include "EchoLinkPacket.h"
#include "FakeQtelLink.h"
#include "FakeStationLink.h"
#include "ProxyMessage.h"
#include "QtPrinters.h"

#include "WaitUntil.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;
using Port = StationLink::Port;

const QByteArray kNonce = "\x01\x02\x03\x04\x05\x06\x07\x08";
constexpr quint32 kStation = 0x0A000002; // 10.0.0.2
constexpr quint32 kOther = 0x0A000003;

// An RTCP packet as EchoLink stations send it: an empty receiver report, then an SDES with the NAME item or a BYE.
QByteArray rtcp(quint8 type, const QByteArray& name)
{
    QByteArray body = QByteArray::fromHex("00000000");
    if (type == 202)
        body += char(2) + QByteArray(1, char(name.size())) + name + QByteArray(2, '\0');
    while (body.size() % 4)
        body += '\0';
    const int words = int(body.size() / 4);
    return QByteArray::fromHex("c0c9000100000000") + char(0xC1) + char(type) + char(words >> 8) + char(words & 0xff)
        + body;
}
QByteArray sdes(const QByteArray& call)
{
    return rtcp(202, call.leftJustified(15, ' ') + "Operator");
}
QByteArray bye()
{
    return rtcp(203, {});
}
QByteArray chat(const QByteArray& line)
{
    return "oNDATA" + line + "\r\n" + QByteArray(1, '\0');
}
QByteArray message(ProxyMessage::Type type, quint32 ip, const QByteArray& data)
{
    return ProxyMessage{type, ip, data}.encode();
}

class Bridge
{
public:
    explicit Bridge(const QString& encoding = u"windows-1252"_s, int goneGraceMs = 15000)
        : bridge(qtel, net, {"Secret", ChatCodec(encoding), goneGraceMs, [] { return kNonce; }})
    { }

    void login(int client, const QByteArray& call = "N0CALL", const QByteArray& password = "secret")
    {
        qtel.arrive(client);
        qtel.receive(client, call + '\n' + ProxyMessage::digest(password, kNonce));
    }
    // Qtel and the station at ip have greeted each other: they are in QSO.
    void greet(quint32 ip, const QByteArray& call)
    {
        qtel.receive(0, message(ProxyMessage::UdpControl, ip, sdes("N0CALL")));
        net.raiseUdp(Port::Control, ip, sdes(call));
    }
    // What client 0 got after the nonce.
    QByteArray toQtel() const { return qtel.sent.value(0).mid(kNonce.size()); }

    FakeQtelLink qtel;
    FakeStationLink net;
    EchoLinkBridge bridge;
};

struct LoginCase {
    const char* name;
    QByteArray callLine;
    QByteArray password;
    // What the bridge answers after the nonce: nothing, or a SYSTEM message.
    QByteArray answer;
    const char* callsign;
    friend void PrintTo(const LoginCase& c, std::ostream* os) { *os << c.name; }
};

class Login : public ::testing::TestWithParam<LoginCase>
{
};

TEST_P(Login, AnswersTheDigest)
{
    const LoginCase& c = GetParam();
    Bridge b;
    b.login(0, c.callLine, c.password);
    EXPECT_EQ(b.qtel.sent.value(0).left(8), kNonce);
    EXPECT_EQ(b.toQtel(), c.answer);
    EXPECT_EQ(b.qtel.dropped.contains(0), !c.answer.isEmpty());
    EXPECT_EQ(b.bridge.callsign(), QString::fromLatin1(c.callsign));
    EXPECT_EQ(b.net.attachedAs, QByteArray(c.callsign));
}

INSTANTIATE_TEST_SUITE_P(Cases, Login,
    ::testing::Values(LoginCase{"RightPassword", "N0CALL", "secret", {}, "N0CALL"},
        // libecholib upper-cases the password before hashing; the proxy's own is taken the same way.
        LoginCase{"PasswordUpperCased", "N0CALL", "SECRET", {}, "N0CALL"},
        LoginCase{"LowerCaseCallsign", "dl1abc-l", "secret", {}, "DL1ABC-L"},
        LoginCase{"WrongPassword", "N0CALL", "guess", QByteArray::fromHex("07000000000100000001"), ""},
        LoginCase{"EmptyPasswordIsPublic", "N0CALL", "", QByteArray::fromHex("07000000000100000001"), ""},
        LoginCase{"NoCallsign", "", "secret", QByteArray::fromHex("07000000000100000002"), ""}),
    CaseName());

TEST(LoginParts, WaitsForTheWholeDigestAndDropsEndlessCallsigns)
{
    Bridge b;
    b.qtel.arrive(0);
    const QByteArray auth = "N0CALL\n" + ProxyMessage::digest("secret", kNonce);
    b.qtel.receive(0, auth.left(10));
    EXPECT_TRUE(b.bridge.callsign().isEmpty());
    b.qtel.receive(0, auth.mid(10) + message(ProxyMessage::TcpOpen, kStation, {}));
    EXPECT_EQ(b.bridge.callsign(), u"N0CALL"_s);
    EXPECT_EQ(b.net.directoryOpened, QList<quint32>{kStation});

    b.qtel.arrive(1);
    b.qtel.receive(1, QByteArray(100, 'A'));
    EXPECT_TRUE(b.qtel.dropped.contains(1));
}

// What reaches the network when Qtel sends a message.
struct FromQtelCase {
    const char* name;
    QByteArray bytes;
    QList<quint32> opened;
    QList<FakeStationLink::Datagram> udp;
    int closes;
    QByteArray answer;
    friend void PrintTo(const FromQtelCase& c, std::ostream* os) { *os << c.name; }
};

class FromQtel : public ::testing::TestWithParam<FromQtelCase>
{
};

TEST_P(FromQtel, IsRelayed)
{
    const FromQtelCase& c = GetParam();
    Bridge b;
    b.login(0);
    // Byte by byte: the framing must not depend on how TCP cuts the stream.
    for (const char byte : c.bytes)
        b.qtel.receive(0, QByteArray(1, byte));
    EXPECT_EQ(b.net.directoryOpened, c.opened);
    EXPECT_EQ(b.net.udp, c.udp);
    EXPECT_EQ(b.net.directoryCloses, c.closes);
    EXPECT_EQ(b.toQtel(), c.answer);
    EXPECT_FALSE(b.qtel.dropped.contains(0));
}

INSTANTIATE_TEST_SUITE_P(Cases, FromQtel,
    ::testing::Values(FromQtelCase{"TcpOpen", QByteArray::fromHex("01 c0a80105 00000000"), {0xC0A80105}, {}, 0, {}},
        FromQtelCase{
            "UdpData", QByteArray::fromHex("05 0a000002 03000000 616263"), {}, {{Port::Audio, kStation, "abc"}}, 0, {}},
        FromQtelCase{"UdpControl", message(ProxyMessage::UdpControl, kStation, sdes("N0CALL")), {},
            {{Port::Control, kStation, sdes("N0CALL")}}, 0, {}},
        FromQtelCase{"TcpCloseIsAnswered", QByteArray::fromHex("03 00000000 00000000"), {}, {}, 1,
            QByteArray::fromHex("03 00000000 00000000")},
        FromQtelCase{"UnknownTypeIgnored", QByteArray::fromHex("09 00000000 01000000 41"), {}, {}, 0, {}}),
    CaseName());

TEST(FromQtelLimits, DropsABlockNoClientSends)
{
    Bridge b;
    b.login(0);
    b.qtel.receive(0, QByteArray::fromHex("05 0a000002 01000100"));
    EXPECT_TRUE(b.qtel.dropped.contains(0));
}

TEST(FromNetwork, ReachesQtelInBlocksItCanRead)
{
    Bridge b;
    b.login(0);
    b.qtel.receive(0, message(ProxyMessage::TcpOpen, kStation, {}));
    b.net.raiseStatus(0);
    b.qtel.receive(0, message(ProxyMessage::TcpData, 0, "F\nN0CALL\nPASSWORD\n"));
    EXPECT_EQ(b.net.directorySent, "F\nN0CALL\nPASSWORD\n");
    b.net.raiseDirectory(QByteArray(20000, 'x'));
    b.net.raiseClosed();
    b.net.raiseUdp(Port::Audio, 0x7F000002, "\xC0voice");
    QByteArray expected = QByteArray::fromHex("04 00000000 04000000 00000000");
    for (const int size : {8192, 8192, 3616})
        expected += message(ProxyMessage::TcpData, 0, QByteArray(size, 'x'));
    expected += QByteArray::fromHex("03 00000000 00000000");
    expected += QByteArray::fromHex("05 7f000002 06000000") + "\xC0voice";
    EXPECT_EQ(b.toQtel(), expected);
}

TEST(FromNetwork, FailedDirectoryIsAnsweredWithItsErrno)
{
    Bridge b;
    b.login(0);
    b.qtel.receive(0, message(ProxyMessage::TcpOpen, kStation, {}));
    b.net.raiseStatus(111);
    b.qtel.receive(0, message(ProxyMessage::TcpData, 0, "not for anyone"));
    EXPECT_EQ(b.toQtel(), QByteArray::fromHex("04 00000000 04000000 6f000000"));
    EXPECT_TRUE(b.net.directorySent.isEmpty());
}

struct TapCase {
    const char* name;
    const char* encoding;
    QByteArray packet;
    bool inQso;
    QStringList raised;
    friend void PrintTo(const TapCase& c, std::ostream* os) { *os << c.name; }
};

class ChatTap : public ::testing::TestWithParam<TapCase>
{
};

TEST_P(ChatTap, RaisesTheChatOfStationsInQso)
{
    const TapCase& c = GetParam();
    Bridge b(QString::fromLatin1(c.encoding));
    b.login(0);
    if (c.inQso)
        b.greet(kStation, "DL1ABC");
    QStringList texts;
    QObject::connect(&b.bridge, &EchoLinkBridge::chatTextReceived, [&](const QString& text) { texts += text; });
    b.net.raiseUdp(Port::Audio, kStation, c.packet);
    EXPECT_EQ(texts, c.raised);
    // Whatever the tap makes of it, Qtel gets the packet unchanged.
    EXPECT_TRUE(b.toQtel().endsWith(message(ProxyMessage::UdpData, kStation, c.packet)));
}

INSTANTIATE_TEST_SUITE_P(Cases, ChatTap,
    ::testing::Values(
        TapCase{"Utf8", "windows-1252", chat("DL1ABC>Grüße aus Köln"), true, {u"DL1ABC>Grüße aus Köln"_s}},
        TapCase{"Windows1252", "windows-1252",
            chat("DL1ABC>Gr\xFC\xDF"
                 "e \x80"),
            true, {u"DL1ABC>Grüße €"_s}},
        TapCase{"OtherEncoding", "windows-1251", chat("UA3ABC>\xEF\xF0\xE8\xE2\xE5\xF2"), true, {u"UA3ABC>привет"_s}},
        // A conference relays its members' lines under their own calls.
        TapCase{"ConferenceMember", "windows-1252", chat("F4XYZ>salut"), true, {u"F4XYZ>salut"_s}},
        TapCase{"TwoLines", "windows-1252", chat("DL1ABC>one\rtwo"), true, {u"DL1ABC>one\rtwo"_s}},
        TapCase{"StationInfo", "windows-1252", "oNDATA\rDL1ABC-L\rKöln\r" + QByteArray(1, '\0'), true, {}},
        TapCase{"NotInQso", "windows-1252", chat("DL1ABC>hello"), false, {}},
        TapCase{"Voice", "windows-1252", QByteArray::fromHex("c003000100000000") + "oNDATA", true, {}}),
    CaseName());

TEST(ChatTapQso, FollowsGreetingsAndByes)
{
    Bridge b;
    b.login(0);
    QStringList status;
    QObject::connect(&b.bridge, &EchoLinkBridge::statusChanged, [&](const QString& text) { status += text; });
    b.qtel.receive(0, message(ProxyMessage::UdpControl, kStation, sdes("N0CALL")));
    EXPECT_TRUE(b.bridge.stations().isEmpty()) << "the station has not answered yet";
    b.net.raiseUdp(Port::Control, kStation, sdes("DL1ABC"));
    b.greet(kOther, "F4XYZ");
    EXPECT_EQ(b.bridge.stations(), (QStringList{u"DL1ABC"_s, u"F4XYZ"_s}));
    EXPECT_EQ(b.bridge.status(), u"Qtel connected as N0CALL, in QSO with DL1ABC, F4XYZ"_s);
    b.net.raiseUdp(Port::Control, kStation, bye());
    EXPECT_EQ(b.bridge.stations(), QStringList{u"F4XYZ"_s});
    b.qtel.receive(0, message(ProxyMessage::UdpControl, kOther, bye()));
    EXPECT_TRUE(b.bridge.stations().isEmpty());
    ASSERT_FALSE(status.isEmpty());
    EXPECT_EQ(status.last(), u"Qtel connected as N0CALL, no station in QSO"_s);
}

struct SendCase {
    const char* name;
    const char* encoding;
    QString text;
    QList<QByteArray> packets;
    QString sentAs;
    QString refusal;
    friend void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }
};

class SendChat : public ::testing::TestWithParam<SendCase>
{
};

TEST_P(SendChat, GoesToEveryStationInQsoAndToQtel)
{
    const SendCase& c = GetParam();
    Bridge b(QString::fromLatin1(c.encoding));
    b.login(0);
    b.greet(kStation, "DL1ABC");
    b.greet(kOther, "F4XYZ");
    b.net.udp.clear();
    b.qtel.sent[0].clear();
    QString why;
    const std::optional<QString> sent = b.bridge.sendChatText(c.text, &why);
    EXPECT_EQ(sent.value_or(u"(none)"_s), c.refusal.isEmpty() ? c.sentAs : u"(none)"_s);
    EXPECT_TRUE(why.contains(c.refusal)) << why.toStdString();
    QList<FakeStationLink::Datagram> expected;
    QByteArray copies;
    for (const QByteArray& packet : c.packets) {
        for (const quint32 ip : {kStation, kOther}) {
            expected += {Port::Audio, ip, packet};
            copies += message(ProxyMessage::UdpData, ip, packet);
        }
    }
    EXPECT_EQ(b.net.udp, expected);
    EXPECT_EQ(b.qtel.sent.value(0), copies);
}

INSTANTIATE_TEST_SUITE_P(Cases, SendChat,
    ::testing::Values(SendCase{"Plain", "windows-1252", u"hello"_s, {chat("N0CALL>hello")}, u"hello"_s, {}},
        SendCase{"Windows1252", "windows-1252", u"Grüße €"_s,
            {chat("N0CALL>Gr\xFC\xDF"
                  "e \x80")},
            u"Grüße €"_s, {}},
        SendCase{"Utf8", "UTF-8", u"привет 你好"_s, {chat("N0CALL>привет 你好")}, u"привет 你好"_s, {}},
        SendCase{"CyrillicFitted", "windows-1252", u"жизнь"_s, {chat("N0CALL>zhizn")}, u"zhizn"_s, {}},
        SendCase{"ChineseRefused", "windows-1252", u"你好"_s, {}, {}, u"Chinese characters cannot be sent"_s},
        SendCase{"Lines", "windows-1252", u"one\rtwo"_s, {chat("N0CALL>one"), chat("N0CALL>two")}, u"one\rtwo"_s, {}}),
    CaseName());

TEST(SendChatWithout, QtelOrStationSaysWhy)
{
    Bridge b;
    QString why;
    EXPECT_FALSE(b.bridge.sendChatText(u"hello"_s, &why));
    EXPECT_TRUE(why.contains(u"Qtel is not connected"_s)) << why.toStdString();
    b.login(0);
    EXPECT_FALSE(b.bridge.sendChatText(u"hello"_s, &why));
    EXPECT_TRUE(why.contains(u"no station is in QSO"_s)) << why.toStdString();
}

TEST(Clients, ALaterLoginReplacesTheEarlierClient)
{
    Bridge b;
    b.login(0);
    b.greet(kStation, "DL1ABC");
    b.login(1, "N0CALL");
    EXPECT_TRUE(b.qtel.dropped.contains(0));
    b.qtel.leave(0);
    EXPECT_TRUE(b.bridge.clientConnected());
    EXPECT_TRUE(b.bridge.stations().isEmpty());
    b.net.raiseUdp(Port::Audio, kStation, "\xC0voice");
    EXPECT_TRUE(b.qtel.sent[1].endsWith("\xC0voice"));
    EXPECT_FALSE(b.toQtel().endsWith("\xC0voice"));
}

TEST(Clients, ClosesOnlyWhenQtelStaysAway)
{
    Bridge b(u"windows-1252"_s, 20);
    int closings = 0;
    QObject::connect(&b.bridge, &EchoLinkBridge::closing, [&] { ++closings; });
    // Qtel's first coming and a return within the grace start no countdown that lasts.
    b.login(0);
    b.qtel.leave(0);
    b.login(1);
    b.qtel.leave(1);
    b.login(2);
    b.qtel.leave(2);
    EXPECT_TRUE(waitUntil([&] { return closings > 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(closings, 1);
}

} // namespace
