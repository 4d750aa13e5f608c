// verbolt-purple: a chat host on the session bus that bridges one conversation of a running libpurple program
// (Pidgin, Finch) to Verbolt. Partners' messages there are raised as chat texts; texts sent to the host go into it.

#include "BridgeChatHost.h"
#include "BridgeControl.h"
#include "BridgeStationInfo.h"
#include "DBusChatHost.h"
#include "DBusPurpleClient.h"
#include "PurpleBridge.h"
#include "StopSignals.h"
#include "chathostadaptor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

#include <csignal>
#include <cstdio>

namespace {

// A running bridge answers at once; this only guards against one that hangs.
constexpr int kRelayTimeoutMs = 10000;

void say(const QString& text)
{
    const QByteArray line = "verbolt-purple: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

// Asks the bridge that owns the chat host's name to follow a conversation; an empty answer means it took it.
QString relayFollow(const QDBusConnection& bus, const QString& conversation)
{
    QDBusMessage ask = QDBusMessage::createMethodCall(
        DBusChatHost::serviceName, BridgeControl::objectPath, BridgeControl::interfaceName, QStringLiteral("Follow"));
    ask << conversation;
    const QDBusMessage answer = bus.call(ask, QDBus::Block, kRelayTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return {};
    return answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verbolt-purple"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VERBOLT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A chat host for Verbolt on the session bus (name org.verbolt.ChatHost) that bridges one conversation of a\n"
        "running Pidgin or Finch: partners' messages there reach Verbolt, and what Verbolt sends goes into it.\n"
        "It follows the conversation given with --conversation, else the one the chat program shows in front, and\n"
        "says which one on standard error and in Verbolt's window. It never switches by itself: when that\n"
        "conversation closes it follows none, says so, and refuses texts until told which to follow. Started again\n"
        "with --conversation while a bridge runs, it makes the running bridge follow that conversation and ends.\n"
        "When the chat program quits or goes away, the host closes and Verbolt ends."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption conversationOption(QStringLiteral("conversation"),
        QStringLiteral("The conversation to follow: a channel (#ham, room@conference.example.org) or a buddy."),
        QStringLiteral("NAME"));
    const QCommandLineOption callsignOption(QStringLiteral("callsign"),
        QStringLiteral("The operator's name to give Verbolt (default: the nick or user name in the conversation)."),
        QStringLiteral("CALL"));
    parser.addOption(conversationOption);
    parser.addOption(callsignOption);
    parser.process(app);
    const QString conversation = parser.value(conversationOption).trimmed();
    if (parser.isSet(conversationOption) && conversation.isEmpty()) {
        say(QStringLiteral("--conversation needs the name of a conversation"));
        return 1;
    }

    std::signal(SIGPIPE, SIG_IGN);
    StopSignals stop;
    if (!stop.isValid()) {
        say(QStringLiteral("cannot watch for stop signals"));
        return 1;
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        say(QStringLiteral("no session bus: %1").arg(bus.lastError().message()));
        return 1;
    }
    if (!bus.interface()->isServiceRegistered(DBusPurpleClient::serviceName)) {
        say(QStringLiteral("no libpurple chat program (Pidgin or Finch) on the session bus: the name %1 has no owner")
                .arg(DBusPurpleClient::serviceName));
        return 1;
    }

    DBusPurpleClient purple(bus);
    PurpleBridge bridge(purple, {conversation, parser.value(callsignOption)});
    BridgeStationInfo station(bridge);
    BridgeChatHost chat(bridge, QDBusObjectPath(DBusChatHost::stationInfoPath));
    BridgeControl control(bridge);
    new StationInfoAdaptor(&station);
    new ChatHostAdaptor(&chat);
    QObject::connect(&bridge, &PurpleBridge::notice, &app, say);
    // Said in the window too, which shows it as a line of its own.
    QObject::connect(&bridge, &PurpleBridge::notice, &chat, &BridgeChatHost::raiseStatus);
    QObject::connect(&bridge, &PurpleBridge::chatTextReceived, &chat, &BridgeChatHost::raiseChatText);

    // The objects are in place before the name is taken, so whoever sees the name can use them.
    if (!bus.registerObject(DBusChatHost::objectPath, &chat)
        || !bus.registerObject(DBusChatHost::stationInfoPath, &station)
        || !bus.registerObject(BridgeControl::objectPath, &control, QDBusConnection::ExportScriptableSlots)) {
        say(QStringLiteral("cannot serve the host objects: %1").arg(bus.lastError().message()));
        return 1;
    }
    if (!bus.registerService(DBusChatHost::serviceName)) {
        const QString reason = bus.lastError().isValid() ? bus.lastError().message() : QString();
        if (!conversation.isEmpty() && !bus.lastError().isValid()) {
            const QString refused = relayFollow(bus, conversation);
            if (refused.isEmpty()) {
                say(QStringLiteral("asked the running bridge to follow %1").arg(conversation));
                return 0;
            }
            say(QStringLiteral("cannot own the name %1, and its owner did not take the conversation: %2")
                    .arg(DBusChatHost::serviceName, refused));
            return 1;
        }
        say(QStringLiteral("cannot own the name %1: %2")
                .arg(DBusChatHost::serviceName,
                    reason.isEmpty() ? QStringLiteral("another chat host owns it (a running verbolt-purple is "
                                                      "switched with --conversation NAME)")
                                     : reason));
        return 1;
    }

    // Nothing from the bus is handled before the event loop runs: the choice is made before any caller is served.
    bridge.start();
    say(QStringLiteral("ready as %1").arg(bridge.callsign()));

    bool closing = false;
    const auto close = [&](const QString& why) {
        if (std::exchange(closing, true))
            return;
        say(why);
        chat.raiseClosing();
        // A round trip through the bus: once it answers, Closing has left ahead of the disconnect.
        bus.interface()->isServiceRegistered(DBusChatHost::serviceName);
        QCoreApplication::quit();
    };
    QObject::connect(
        &bridge, &PurpleBridge::closing, &app, [&](const QString& why) { close(why + QStringLiteral("; closing")); });
    QObject::connect(&stop, &StopSignals::stopRequested, &app, [&] { close(QStringLiteral("stopped; closing")); });
    return QCoreApplication::exec();
}
