// verbolt-purple: a chat host on the session bus that bridges one conversation of a running libpurple program
// (Pidgin, Finch) to Verbolt. Partners' messages there are raised as chat texts; texts sent to the host go into it.

#include "BridgeControl.h"
#include "BridgeMain.h"
#include "ChatHostBus.h"
#include "ChatHostServer.h"
#include "DBusPurpleClient.h"
#include "PurpleBridge.h"
#include "StationInfoServer.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

const char kAbout[]
    = "A chat host for Verbolt on the session bus (name org.verbolt.ChatHost) that bridges one conversation of a\n"
      "running Pidgin or Finch: partners' messages there reach Verbolt, and what Verbolt sends goes into it.\n"
      "It follows the conversation given with --conversation, else the one the chat program shows in front, and\n"
      "says which one on standard error and in Verbolt's window. It never switches by itself: when that\n"
      "conversation closes it follows none, says so, and refuses texts until told which to follow. Started again\n"
      "with --conversation while a bridge runs, it makes the running bridge follow that conversation and ends.\n"
      "When the chat program quits or goes away, the host closes and Verbolt ends.";

// A running bridge answers at once; this only guards against one that hangs.
constexpr int kRelayTimeoutMs = 10000;

// Asks the bridge that owns the chat host's name to follow a conversation; an empty answer means it took it.
QString relayFollow(const QDBusConnection& bus, const QString& conversation)
{
    QDBusMessage ask = QDBusMessage::createMethodCall(
        ChatHostBus::serviceName, BridgeControl::objectPath, BridgeControl::interfaceName, QStringLiteral("Follow"));
    ask << conversation;
    const QDBusMessage answer = bus.call(ask, QDBus::Block, kRelayTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return {};
    return answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage();
}

// Another bridge runs: with --conversation it is asked to follow that one, and this one ends.
int nameTaken(BridgeMain& purple, const QString& conversation)
{
    if (conversation.isEmpty()) {
        return purple.fail(QStringLiteral("cannot own the name %1: another chat host owns it (a running "
                                          "verbolt-purple is switched with --conversation NAME)")
                               .arg(ChatHostBus::serviceName));
    }
    const QString refused = relayFollow(purple.bus(), conversation);
    if (!refused.isEmpty()) {
        return purple.fail(QStringLiteral("cannot own the name %1, and its owner did not take the conversation: %2")
                               .arg(ChatHostBus::serviceName, refused));
    }
    purple.say(QStringLiteral("asked the running bridge to follow %1").arg(conversation));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BridgeMain purple(QStringLiteral("verbolt-purple"), QStringLiteral(VERBOLT_VERSION), QString::fromUtf8(kAbout));
    const QCommandLineOption conversationOption(QStringLiteral("conversation"),
        QStringLiteral("The conversation to follow: a channel (#ham, room@conference.example.org) or a buddy."),
        QStringLiteral("NAME"));
    const QCommandLineOption callsignOption(QStringLiteral("callsign"),
        QStringLiteral("The operator's name to give Verbolt (default: the nick or user name in the conversation)."),
        QStringLiteral("CALL"));
    purple.parser().addOption(conversationOption);
    purple.parser().addOption(callsignOption);
    purple.process();
    const QString conversation = purple.parser().value(conversationOption).trimmed();
    if (purple.parser().isSet(conversationOption) && conversation.isEmpty())
        return purple.fail(QStringLiteral("--conversation needs the name of a conversation"));

    if (!purple.start())
        return 1;
    if (!purple.bus().interface()->isServiceRegistered(DBusPurpleClient::serviceName)) {
        return purple.fail(
            QStringLiteral("no libpurple chat program (Pidgin or Finch) on the session bus: the name %1 has no owner")
                .arg(DBusPurpleClient::serviceName));
    }

    DBusPurpleClient client(purple.bus());
    PurpleBridge bridge(client, {conversation, purple.parser().value(callsignOption)});
    StationInfoServer station([&] { return bridge.callsign(); });
    ChatHostServer chat(
        [&](const QString& text, QString* why) {
            return bridge.sendChatText(text, why) ? std::optional(text) : std::nullopt;
        },
        [&] { return bridge.status(); });
    BridgeControl control(bridge);
    QObject::connect(&bridge, &PurpleBridge::notice, &purple, &BridgeMain::say);
    // Said in the window too, which shows it as a line of its own.
    QObject::connect(&bridge, &PurpleBridge::notice, &chat, &ChatHostServer::raiseStatus);
    QObject::connect(&bridge, &PurpleBridge::chatTextReceived, &chat, &ChatHostServer::raiseChatText);

    if (!purple.bus().registerObject(BridgeControl::objectPath, &control, QDBusConnection::ExportScriptableSlots))
        return purple.fail(QStringLiteral("cannot serve the host objects: %1").arg(purple.bus().lastError().message()));
    purple.setNameTaken([&] { return nameTaken(purple, conversation); });
    if (!purple.serve(chat, station))
        return purple.exitStatus();

    // Nothing from the bus is handled before the event loop runs: the choice is made before any caller is served.
    bridge.start();
    purple.say(QStringLiteral("ready as %1").arg(bridge.callsign()));
    QObject::connect(&bridge, &PurpleBridge::closing, &purple, &BridgeMain::close);
    return purple.exec();
}
