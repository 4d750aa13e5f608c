// The bridge as the window reaches it on a private session bus: what it says about itself, and a text refused once
// the followed conversation has closed.
#include "ChatHostServer.h"
#include "DBusChatHost.h"
#include "FakePurpleClient.h"
#include "PurpleBridge.h"
#include "QtPrinters.h"
#include "StationInfoServer.h"
#include "WaitUntil.h"

#include <QDBusConnection>

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace Qt::StringLiterals;

TEST(BridgeOnTheBus, SaysWhatItFollowsAndRefusesTextsOnceItFollowsNone)
{
    FakePurpleClient purple;
    const int ham = purple.open(PurpleClient::Kind::Chat, u"#ham"_s);
    PurpleBridge bridge(purple, {});
    StationInfoServer station([&] { return bridge.callsign(); });
    ChatHostServer chat(
        [&](const QString& text, QString* why) {
            return bridge.sendChatText(text, why) ? std::optional(text) : std::nullopt;
        },
        [&] { return bridge.status(); });
    QObject::connect(&bridge, &PurpleBridge::notice, &chat, &ChatHostServer::raiseStatus);
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerObject(DBusChatHost::objectPath, &chat) && bus.registerService(DBusChatHost::serviceName));
    bridge.start();

    // The window has a connection of its own, as it would in its own process.
    QString why;
    const std::unique_ptr<ChatHost> host
        = DBusChatHost::create(QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"window"_s), &why);
    ASSERT_NE(host, nullptr) << why.toStdString();
    QStringList said;
    QObject::connect(host.get(), &ChatHost::statusChanged, [&](const QString& text) { said.append(text); });
    host->requestStatus([&](const QString& text) { said.append(text); });
    ASSERT_TRUE(waitUntil([&] { return said.size() == 1; }));
    purple.close(ham);
    ASSERT_TRUE(waitUntil([&] { return said.size() == 2; }));
    EXPECT_EQ(said,
        (QStringList{u"following #ham (chat, as oper@irc.example.net)"_s,
            u"#ham closed; following no conversation (verbolt-purple --conversation NAME follows one)"_s}));

    std::optional<bool> delivered;
    host->sendChatText(u"hello"_s, [&](bool ok) { delivered = ok; });
    ASSERT_TRUE(waitUntil([&] { return delivered.has_value(); }));
    EXPECT_FALSE(*delivered);
    EXPECT_TRUE(host->errorString().contains(u"the conversation #ham has closed"_s))
        << host->errorString().toStdString();
    bus.unregisterService(DBusChatHost::serviceName);
    bus.unregisterObject(DBusChatHost::objectPath);
}

} // namespace
