// verbolt-fldigi: a chat host on the session bus that bridges fldigi's keyboard contacts to Verbolt through fldigi's
// XML-RPC interface. What fldigi decodes from the partner is raised line by line; texts sent go on the air.

#include "DBusChatHost.h"
#include "FldigiBridge.h"
#include "FldigiChatHost.h"
#include "FldigiStationInfo.h"
#include "StopSignals.h"
#include "XmlRpcFldigiClient.h"
#include "chathostadaptor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

using namespace Qt::StringLiterals;

// How often the receive pane is looked at: PSK31 brings about five characters a second.
constexpr int kPollMs = 250;

void say(const QString& text)
{
    const QByteArray line = "verbolt-fldigi: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"verbolt-fldigi"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(VERBOLT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A chat host for Verbolt on the session bus (name org.verbolt.ChatHost) that bridges a running fldigi\n"
        "through its XML-RPC interface: what fldigi decodes from the other station reaches Verbolt line by line as\n"
        "CALL>text (at each line end, or after a pause), and what Verbolt sends is transmitted in fldigi's current\n"
        "modem, fitted to what that modem carries, after which fldigi returns to receive. The partner's CALL is\n"
        "the Call field of fldigi's log, else the callsign after \"de\" in what they sent, else the modem's name;\n"
        "this station's own transmitted text, which fldigi also shows in its receive pane, is left out. When fldigi\n"
        "quits, the host closes and Verbolt ends."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption addressOption(u"address"_s,
        u"The address of fldigi's XML-RPC server (fldigi's --xmlrpc-server-address; default 127.0.0.1)."_s, u"HOST"_s,
        u"127.0.0.1"_s);
    const QCommandLineOption portOption(u"port"_s,
        u"The port of fldigi's XML-RPC server (fldigi's --xmlrpc-server-port; default 7362)."_s, u"PORT"_s, u"7362"_s);
    const QCommandLineOption callsignOption(
        u"callsign"_s, u"The operator's callsign to give Verbolt (default: the one set in fldigi)."_s, u"CALL"_s);
    const QCommandLineOption pauseOption(u"pause"_s,
        u"Seconds without a new character after which a received line is complete (default 4)."_s, u"SECONDS"_s,
        u"4"_s);
    parser.addOptions({addressOption, portOption, callsignOption, pauseOption});
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port == 0 || port > 65535) {
        say(u"--port needs a port number (1 to 65535), not \"%1\""_s.arg(parser.value(portOption)));
        return 1;
    }
    bool pauseOk = false;
    const double pause = parser.value(pauseOption).toDouble(&pauseOk);
    if (!pauseOk || pause < 0.5 || pause > 600) {
        say(u"--pause needs a number of seconds from 0.5 to 600, not \"%1\""_s.arg(parser.value(pauseOption)));
        return 1;
    }
    const QString address = parser.value(addressOption).trimmed();
    if (address.isEmpty()) {
        say(u"--address needs a host name or address"_s);
        return 1;
    }

    std::signal(SIGPIPE, SIG_IGN);
    StopSignals stop;
    if (!stop.isValid()) {
        say(u"cannot watch for stop signals"_s);
        return 1;
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        say(u"no session bus: %1"_s.arg(bus.lastError().message()));
        return 1;
    }

    XmlRpcFldigiClient fldigi(address, quint16(port));
    FldigiBridge::Options options;
    options.callsign = parser.value(callsignOption).trimmed();
    options.pause = std::chrono::milliseconds(qRound64(pause * 1000));
    FldigiBridge bridge(fldigi, options);
    QString why;
    if (!bridge.start(&why)) {
        say(why);
        return 1;
    }

    FldigiStationInfo station(bridge);
    FldigiChatHost chat(bridge, QDBusObjectPath(DBusChatHost::stationInfoPath));
    new StationInfoAdaptor(&station);
    new ChatHostAdaptor(&chat);
    QObject::connect(&bridge, &FldigiBridge::chatTextReceived, &chat, &FldigiChatHost::raiseChatText);
    QObject::connect(&chat, &FldigiChatHost::ChatTextSent, &app,
        [](const QString& sentAs) { say(u"sent as: %1"_s.arg(QString(sentAs).replace(u'\r', u" / "_s))); });

    // The objects are in place before the name is taken, so whoever sees the name can use them.
    if (!bus.registerObject(DBusChatHost::objectPath, &chat)
        || !bus.registerObject(DBusChatHost::stationInfoPath, &station)) {
        say(u"cannot serve the host objects: %1"_s.arg(bus.lastError().message()));
        return 1;
    }
    if (!bus.registerService(DBusChatHost::serviceName)) {
        const QString reason = bus.lastError().isValid() ? bus.lastError().message() : u"another chat host owns it"_s;
        say(u"cannot own the name %1: %2"_s.arg(DBusChatHost::serviceName, reason));
        return 1;
    }

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &bridge, &FldigiBridge::poll);
    poll.start(kPollMs);
    say(u"ready as %1 (%2 at %3:%4)"_s.arg(bridge.callsign(), bridge.program(), address).arg(port));

    bool closing = false;
    const auto close = [&](const QString& why) {
        if (std::exchange(closing, true))
            return;
        poll.stop();
        say(why);
        chat.raiseClosing();
        // A round trip through the bus: once it answers, Closing has left ahead of the disconnect.
        bus.interface()->isServiceRegistered(DBusChatHost::serviceName);
        QCoreApplication::quit();
    };
    QObject::connect(&bridge, &FldigiBridge::closing, &app, [&](const QString& why) { close(why + u"; closing"_s); });
    QObject::connect(&stop, &StopSignals::stopRequested, &app, [&] { close(u"stopped; closing"_s); });
    return QCoreApplication::exec();
}
