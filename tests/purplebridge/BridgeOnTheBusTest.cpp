// The bridge as the window reaches it on a private session bus: what it says about itself, and a text refused once
// the followed conversation has closed.
#include "BridgeChatHost.h"
#include "BridgeStationInfo.h"
#include "DBusChatHost.h"
#include "FakePurpleClient.h"
#include "PurpleBridge.h"
#include "QtPrinters.h"
#include "WaitUntil.h"
#include "chathostadaptor.h"

#include <QDBusConnection>

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace Qt::StringLiterals;

TEST(BridgeOnTheBus, SaysWhatItFollowsAndRefusesTextsOnceItFollowsNone)
{
    FakePurpleClient purple;
    const int ham = purple.open(PurpleClient::Kind::Chat, u"#ham"_s);
    purple.open(PurpleClient::Kind::Im, u"juan"_s);
    purple.focused = ham;
    PurpleBridge bridge(purple, {});
    BridgeStationInfo station(bridge);
    BridgeChatHost chat(bridge, QDBusObjectPath(DBusChatHost::stationInfoPath));
    new StationInfoAdaptor(&station);
    new ChatHostAdaptor(&chat);
    QObject::connect(&bridge, &PurpleBridge::notice, &chat, &BridgeChatHost::raiseStatus);
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerObject(DBusChatHost::objectPath, &chat));
    ASSERT_TRUE(bus.registerObject(DBusChatHost::stationInfoPath, &station));
    ASSERT_TRUE(bus.registerService(DBusChatHost::serviceName));
    bridge.start();

    {
        // The window has a connection of its own, as it would in its own process.
        QDBusConnection windowBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"window"_s);
        QString why;
        const std::unique_ptr<ChatHost> host = DBusChatHost::create(windowBus, &why);
        ASSERT_NE(host, nullptr) << why.toStdString();
        QStringList said;
        host->requestStatus([&](const QString& text) { said.append(text); });
        ASSERT_TRUE(waitUntil([&] { return !said.isEmpty(); }));
        EXPECT_EQ(said.takeFirst(), u"following #ham (chat, as oper@irc.example.net)"_s);
        QObject::connect(host.get(), &ChatHost::statusChanged, [&](const QString& text) { said.append(text); });

        purple.close(ham);
        ASSERT_TRUE(waitUntil([&] { return !said.isEmpty(); }));
        EXPECT_EQ(said,
            QStringList{u"#ham closed; following no conversation (verbolt-purple --conversation NAME "
                        u"follows one)"_s});

        std::optional<bool> delivered;
        host->sendChatText(u"hello"_s, [&](bool ok) { delivered = ok; });
        ASSERT_TRUE(waitUntil([&] { return delivered.has_value(); }));
        EXPECT_FALSE(*delivered);
        EXPECT_TRUE(host->errorString().contains(u"the conversation #ham has closed and no other is followed"_s))
            << host->errorString().toStdString();
        EXPECT_TRUE(purple.sent.empty());
    }
    QDBusConnection::disconnectFromBus(u"window"_s);
    bus.unregisterService(DBusChatHost::serviceName);
    bus.unregisterObject(DBusChatHost::objectPath);
    bus.unregisterObject(DBusChatHost::stationInfoPath);
}

} // namespace
