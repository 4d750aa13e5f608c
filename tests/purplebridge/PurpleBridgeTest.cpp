#include "PurpleBridge.h"
#include "FakePurpleClient.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;
using Kind = PurpleClient::Kind;

// A bridge on a fake program, with everything it raised and said.
class Bridge : public ::testing::Test
{
protected:
    void start(const PurpleBridge::Options& options = {})
    {
        m_bridge = std::make_unique<PurpleBridge>(m_purple, options);
        QObject::connect(
            m_bridge.get(), &PurpleBridge::chatTextReceived, [this](const QString& t) { raised.push_back(t); });
        QObject::connect(m_bridge.get(), &PurpleBridge::notice, [this](const QString& t) { notices.push_back(t); });
        QObject::connect(
            m_bridge.get(), &PurpleBridge::closing, [this](const QString& why) { closings.push_back(why); });
        m_bridge->start();
    }
    PurpleBridge& bridge() { return *m_bridge; }

    FakePurpleClient m_purple;
    std::vector<QString> raised;
    std::vector<QString> notices;
    std::vector<QString> closings;

private:
    std::unique_ptr<PurpleBridge> m_bridge;
};

TEST_F(Bridge, FirstMessageOfANewConversationIsRaisedOnceItExists)
{
    start();
    EXPECT_EQ(bridge().followed(), 0);
    m_purple.receive(0, u"juan"_s, u"hola &amp; <b>adi\u00f3s</b>"_s);
    EXPECT_TRUE(raised.empty());
    const int im = m_purple.create(Kind::Im, u"juan"_s);
    EXPECT_EQ(raised, std::vector<QString>{u"juan>hola & adi\u00f3s"_s});
    EXPECT_EQ(bridge().followed(), im);
    EXPECT_EQ(notices.back(), u"following juan (private conversation, as oper@irc.example.net)"_s);
}

TEST_F(Bridge, FirstMessageWaitsForTheNamedConversationAndOthersStayOut)
{
    start({u"Juan@example.org"_s, {}});
    m_purple.receive(0, u"ana@example.org/pc"_s, u"no"_s);
    m_purple.receive(0, u"juan@example.org/phone"_s, u"s\u00ed<br>dos"_s);
    m_purple.create(Kind::Im, u"ana@example.org/pc"_s);
    const int juan = m_purple.create(Kind::Im, u"juan@example.org/phone"_s);
    EXPECT_EQ(bridge().followed(), juan);
    // The partner's name without server and device, lines apart by CR.
    EXPECT_EQ(raised, std::vector<QString>{u"juan>s\u00ed\rdos"_s});
}

struct MessageCase {
    const char* name;
    const char* sender;
    uint flags;
    bool inFollowed;
    bool raised;
    friend void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.name; }
};

class FollowedChat : public Bridge, public ::testing::WithParamInterface<MessageCase>
{
};

TEST_P(FollowedChat, RaisesPartnersMessagesOnly)
{
    const MessageCase& c = GetParam();
    const int other = m_purple.open(Kind::Chat, u"#other"_s);
    const int ham = m_purple.open(Kind::Chat, u"#ham"_s);
    m_purple.chatNicks[ham] = u"oper"_s;
    start({u"#HAM"_s, {}});
    ASSERT_EQ(bridge().followed(), ham);

    m_purple.receive(c.inFollowed ? ham : other, QString::fromUtf8(c.sender), u"text"_s, c.flags);
    const std::vector<QString> expected
        = c.raised ? std::vector<QString>{QString::fromUtf8(c.sender) + u">text"_s} : std::vector<QString>{};
    EXPECT_EQ(raised, expected);
    EXPECT_EQ(bridge().followed(), ham);
}

INSTANTIATE_TEST_SUITE_P(Messages, FollowedChat,
    ::testing::Values(MessageCase{"Partner", "partner", PurpleClient::Receive, true, true},
        MessageCase{"PartnerWithoutFlags", "partner", 0, true, true},
        MessageCase{"OtherConversation", "partner", PurpleClient::Receive, false, false},
        MessageCase{"SentByOperator", "oper", PurpleClient::Send, true, false},
        MessageCase{"OperatorsNickHandedBack", "Oper", PurpleClient::Receive, true, false},
        MessageCase{"System", "", PurpleClient::System, true, false},
        MessageCase{"Error", "partner", PurpleClient::Receive | PurpleClient::Error, true, false},
        MessageCase{"Invisible", "partner", PurpleClient::Receive | PurpleClient::Invisible, true, false}),
    CaseName());

TEST_F(Bridge, AtStartFollowsTheConversationInFrontElseTheNewest)
{
    const int older = m_purple.open(Kind::Chat, u"#ham"_s);
    const int newest = m_purple.open(Kind::Im, u"juan"_s);
    m_purple.focused = older;
    start();
    EXPECT_EQ(bridge().followed(), older);

    m_purple.focused = 0;
    PurpleBridge unfocused(m_purple, {});
    unfocused.start();
    EXPECT_EQ(unfocused.followed(), newest);
}

// Following another by itself would send the operator's next line to a stranger.
TEST_F(Bridge, WhenTheFollowedConversationClosesNoneIsFollowedUntilAsked)
{
    const int ham = m_purple.open(Kind::Chat, u"#ham"_s);
    const int juan = m_purple.open(Kind::Im, u"juan"_s);
    start({u"#ham"_s, {}});
    m_purple.receive(juan, u"juan"_s, u"y"_s);

    m_purple.close(ham);
    EXPECT_EQ(bridge().followed(), 0);
    const QString closed = u"#ham closed; following no conversation (verbolt-purple --conversation NAME follows one)"_s;
    EXPECT_EQ(notices.back(), closed);
    EXPECT_EQ(bridge().status(), closed);

    // Neither a message elsewhere nor a conversation that opens is taken up; a text is refused and says why.
    m_purple.receive(juan, u"juan"_s, u"hola"_s);
    const int carlos = m_purple.create(Kind::Im, u"carlos"_s);
    m_purple.receive(carlos, u"carlos"_s, u"hola"_s);
    EXPECT_EQ(bridge().followed(), 0);
    EXPECT_TRUE(raised.empty());
    QString why;
    EXPECT_FALSE(bridge().sendChatText(u"hello"_s, &why));
    EXPECT_EQ(why,
        u"the conversation #ham has closed and no other is followed (verbolt-purple --conversation NAME follows one)"_s);
    EXPECT_TRUE(m_purple.sent.empty());

    // Asked for, one is followed again.
    bridge().follow(u"juan"_s);
    EXPECT_EQ(bridge().followed(), juan);
    EXPECT_EQ(bridge().status(), u"following juan (private conversation, as oper@irc.example.net)"_s);
    EXPECT_TRUE(bridge().sendChatText(u"hello"_s, &why)) << why;
}

TEST_F(Bridge, WithoutAConversationOpenTheFirstActiveIsFollowedOnceOnly)
{
    start();
    EXPECT_EQ(bridge().status(), u"no conversation is open; following the first one that becomes active"_s);
    const int ana = m_purple.create(Kind::Im, u"ana"_s);
    EXPECT_EQ(bridge().followed(), ana);
    m_purple.close(ana);
    m_purple.create(Kind::Im, u"carlos"_s);
    EXPECT_EQ(bridge().followed(), 0);
}

struct CallsignCase {
    const char* name;
    Kind kind;
    const char* accountName;
    const char* chatNick;
    const char* option;
    const char* expected;
    friend void PrintTo(const CallsignCase& c, std::ostream* os) { *os << c.name; }
};

class Callsign : public Bridge, public ::testing::WithParamInterface<CallsignCase>
{
};

TEST_P(Callsign, IsTheOperatorsNameInTheConversation)
{
    const CallsignCase& c = GetParam();
    m_purple.accountNames[1] = QString::fromUtf8(c.accountName);
    const int id = m_purple.open(c.kind, u"somebody"_s);
    m_purple.chatNicks[id] = QString::fromUtf8(c.chatNick);
    start({{}, QString::fromUtf8(c.option)});
    EXPECT_EQ(bridge().callsign(), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Names, Callsign,
    ::testing::Values(CallsignCase{"IrcPrivate", Kind::Im, "oper@irc.example.net", "", "", "oper"},
        CallsignCase{"IrcNickInUse", Kind::Im, "oper_", "", "", "oper_"},
        CallsignCase{"XmppPrivate", Kind::Im, "juan@example.org/Home", "", "", "juan"},
        CallsignCase{"ChatNick", Kind::Chat, "oper@irc.example.net", "oper2", "", "oper2"},
        CallsignCase{"ChatWithoutNick", Kind::Chat, "oper@irc.example.net", "", "", "oper"},
        CallsignCase{"Option", Kind::Chat, "oper@irc.example.net", "oper2", "EA4ABC", "EA4ABC"}),
    CaseName());

TEST_F(Bridge, SentTextGoesIntoTheFollowedConversationAsLiteralMarkup)
{
    m_purple.open(Kind::Im, u"juan"_s);
    const int ham = m_purple.open(Kind::Chat, u"#ham"_s);
    start({u"#ham"_s, {}});
    QString why;
    ASSERT_TRUE(bridge().sendChatText(u"<b>hola</b> & adi\u00f3s\rsegunda"_s, &why)) << why;
    ASSERT_EQ(m_purple.sent.size(), 1u);
    EXPECT_EQ(m_purple.sent[0].conversation, ham);
    EXPECT_EQ(m_purple.sent[0].markup, u"&lt;b&gt;hola&lt;/b&gt; &amp; adi\u00f3s<br>segunda"_s);

    m_purple.refusal = u"the chat program did not take the text: timeout"_s;
    EXPECT_FALSE(bridge().sendChatText(u"x"_s, &why));
    EXPECT_EQ(why, m_purple.refusal);
}

TEST_F(Bridge, EndOfTheProgramClosesOnceAndStopsEverything)
{
    const int juan = m_purple.open(Kind::Im, u"juan"_s);
    start();
    m_purple.end(u"the chat program is quitting"_s);
    m_purple.end(u"the chat program left the session bus"_s);
    EXPECT_EQ(closings, std::vector<QString>{u"the chat program is quitting"_s});
    m_purple.receive(juan, u"juan"_s, u"late"_s);
    EXPECT_TRUE(raised.empty());
    QString why;
    EXPECT_FALSE(bridge().sendChatText(u"x"_s, &why));
    EXPECT_EQ(why, u"the chat program has ended"_s);
}

} // namespace
