#include "Js8Bridge.h"
#include "FakeJs8Client.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

constexpr char16_t kEot = u'\u2662';

// One message JS8Call decodes, with the bridge's options, and what Verbolt gets of it.
struct ReceiveCase {
    const char* name;
    Js8Bridge::Options options;
    Js8Client::Directed message;
    QString raised; // empty: nothing raised
    friend void PrintTo(const ReceiveCase& c, std::ostream* os) { *os << c.name; }
};

class Receive : public ::testing::TestWithParam<ReceiveCase>
{
};

TEST_P(Receive, RaisesMessagesForTheOperator)
{
    FakeJs8Client js8;
    Js8Bridge bridge(js8, GetParam().options, u"DL1ABC"_s);
    std::vector<QString> raised;
    QObject::connect(&bridge, &Js8Bridge::chatTextReceived, [&](const QString& t) { raised.push_back(t); });
    const Js8Client::Directed& m = GetParam().message;
    js8.decode(m.from, m.to, m.cmd, m.text);
    EXPECT_EQ(raised, GetParam().raised.isEmpty() ? std::vector<QString>{} : std::vector{GetParam().raised});
}

const QString kHello = u"EA4XYZ: DL1ABC  HELLO, HOW ARE YOU? "_s + kEot + u' ';

INSTANTIATE_TEST_SUITE_P(Directed, Receive,
    ::testing::Values(
        ReceiveCase{"ToMe", {}, {u"EA4XYZ"_s, u"DL1ABC"_s, u" "_s, kHello}, u"EA4XYZ>HELLO, HOW ARE YOU?"_s},
        ReceiveCase{"ToMeInOtherCase", {}, {u"ea4xyz"_s, u"dl1abc"_s, u""_s, u"ea4xyz: dl1abc hi"_s}, u"EA4XYZ>hi"_s},
        ReceiveCase{"NotYetEnded", {}, {u"EA4XYZ"_s, u"DL1ABC"_s, u" "_s, u"EA4XYZ: DL1ABC  FIRST PART"_s},
            u"EA4XYZ>FIRST PART"_s},
        ReceiveCase{"ToSomeoneElse", {}, {u"EA4XYZ"_s, u"F4AAA"_s, u" "_s, u"EA4XYZ: F4AAA  HI "_s + kEot}, {}},
        ReceiveCase{
            "JS8CallsOwnCommand", {}, {u"EA4XYZ"_s, u"DL1ABC"_s, u" SNR?"_s, u"EA4XYZ: DL1ABC SNR? "_s + kEot}, {}},
        ReceiveCase{"OnlyTheMark", {}, {u"EA4XYZ"_s, u"DL1ABC"_s, u" "_s, u"EA4XYZ: DL1ABC   "_s + kEot}, {}},
        ReceiveCase{"FromMyself", {}, {u"DL1ABC"_s, u"DL1ABC"_s, u" "_s, u"DL1ABC: DL1ABC  ECHO"_s}, {}},
        ReceiveCase{"FromThePartner", {u"EA4XYZ"_s, {}}, {u"EA4XYZ"_s, u"DL1ABC"_s, u" "_s, kHello},
            u"EA4XYZ>HELLO, HOW ARE YOU?"_s},
        ReceiveCase{"NotFromThePartner", {u"EA4XYZ"_s, {}}, {u"F4AAA"_s, u"DL1ABC"_s, u" "_s, kHello}, {}},
        ReceiveCase{"ToTheGroup", {{}, u"@NETS"_s},
            {u"F4AAA"_s, u"@NETS"_s, u" "_s, u"F4AAA: @NETS  CHECK IN "_s + kEot}, u"F4AAA>CHECK IN"_s},
        ReceiveCase{
            "ToAnotherGroup", {{}, u"@NETS"_s}, {u"F4AAA"_s, u"@HB"_s, u" "_s, u"F4AAA: @HB  CHECK IN "_s + kEot}, {}},
        ReceiveCase{"WithoutTheUsualFront", {}, {u"EA4XYZ"_s, u"DL1ABC"_s, u" "_s, u"GOOD DAY "_s + kEot},
            u"EA4XYZ>GOOD DAY"_s}),
    CaseName());

// What the operator sends, to whom it goes, and what JS8Call is given.
struct SendCase {
    const char* name;
    Js8Bridge::Options options;
    QString lastWriter; // a station that wrote first, or empty
    QString text;
    QString given; // what JS8Call gets; empty: refused
    QString outcome; // the text as it went out, or the start of the refusal
    friend void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }
};

class Send : public ::testing::TestWithParam<SendCase>
{
};

TEST_P(Send, GoesOutAsJS8CallCarriesIt)
{
    const SendCase& c = GetParam();
    FakeJs8Client js8;
    Js8Bridge bridge(js8, c.options, u"DL1ABC"_s);
    if (!c.lastWriter.isEmpty())
        js8.decode(c.lastWriter, u"DL1ABC"_s, u" "_s, c.lastWriter + u": DL1ABC  HI"_s);
    QString why;
    const std::optional<QString> sent = bridge.sendChatText(c.text, &why);
    if (c.given.isEmpty()) {
        EXPECT_FALSE(sent.has_value());
        EXPECT_TRUE(why.startsWith(c.outcome)) << why.toStdString();
        EXPECT_TRUE(js8.sent.empty());
        return;
    }
    ASSERT_TRUE(sent.has_value()) << why.toStdString();
    EXPECT_EQ(*sent, c.outcome);
    EXPECT_EQ(js8.sent, std::vector{c.given});
}

INSTANTIATE_TEST_SUITE_P(Texts, Send,
    ::testing::Values(
        SendCase{"ToTheLastWriter", {}, u"ea4xyz"_s, u"Good morning"_s, u"EA4XYZ GOOD MORNING"_s, u"GOOD MORNING"_s},
        SendCase{"ToThePartner", {u"EA4XYZ"_s, {}}, {}, u"73!"_s, u"EA4XYZ 73!"_s, u"73!"_s},
        SendCase{"PartnerBeforeLastWriter", {u"EA4XYZ"_s, {}}, u"F4AAA"_s, u"ok"_s, u"EA4XYZ OK"_s, u"OK"_s},
        SendCase{"ToTheGroupUntilSomeoneWrites", {{}, u"@NETS"_s}, {}, u"qrv"_s, u"@NETS QRV"_s, u"QRV"_s},
        SendCase{"LinesJoined", {u"EA4XYZ"_s, {}}, {}, u"one\rtwo"_s, u"EA4XYZ ONE TWO"_s, u"ONE TWO"_s},
        SendCase{
            "Transliterated", {u"UA3AAA"_s, {}}, {}, u"Спасибо, друг"_s, u"UA3AAA SPASIBO DRUG"_s, u"SPASIBO DRUG"_s},
        SendCase{"AccentsDropped", {u"EA4XYZ"_s, {}}, {}, u"¿Qué tal, señor?"_s, u"EA4XYZ QUE TAL SENOR?"_s,
            u"QUE TAL SENOR?"_s},
        SendCase{"NobodyToWriteTo", {}, {}, u"hello"_s, {}, u"no station to send to yet"_s},
        SendCase{"ScriptRefused", {u"BA1AA"_s, {}}, {}, u"你好"_s, {},
            u"JS8Call: Chinese characters cannot be sent in this mode (“你”)"_s},
        SendCase{"NothingLeft", {u"EA4XYZ"_s, {}}, {}, u"(;)"_s, {}, u"JS8Call: nothing of the text"_s}),
    CaseName());

TEST(Js8BridgeState, CallsignFollowsJS8CallAndTheEndCloses)
{
    FakeJs8Client js8;
    Js8Bridge bridge(js8, {}, u"DL1ABC"_s);
    std::vector<QString> closings;
    QObject::connect(&bridge, &Js8Bridge::closing, [&](const QString& why) { closings.push_back(why); });
    EXPECT_EQ(bridge.callsign(), u"DL1ABC"_s);
    EXPECT_EQ(js8.callsignRequests, 1);
    js8.answerCallsign(u"DL1ABC/P"_s);
    EXPECT_EQ(bridge.callsign(), u"DL1ABC/P"_s);
    js8.answerCallsign(u""_s);
    EXPECT_EQ(bridge.callsign(), u"DL1ABC/P"_s);

    js8.refusal = u"JS8Call's API is not connected"_s;
    QString why;
    js8.decode(u"EA4XYZ"_s, u"DL1ABC/P"_s, u" "_s, u"EA4XYZ: DL1ABC/P  HI"_s);
    EXPECT_FALSE(bridge.sendChatText(u"hi"_s, &why).has_value());
    EXPECT_EQ(why, js8.refusal);

    js8.end(u"JS8Call is quitting"_s);
    EXPECT_EQ(closings, std::vector{u"JS8Call is quitting"_s});
}

} // namespace
