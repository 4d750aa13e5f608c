// verbolt-fldigi: a chat host on the session bus that bridges fldigi's keyboard contacts to Verbolt through fldigi's
// XML-RPC interface. What fldigi decodes from the partner is raised line by line; texts sent go on the air.

#include "BridgeMain.h"
#include "ChatHostServer.h"
#include "FldigiBridge.h"
#include "StationInfoServer.h"
#include "XmlRpcFldigiClient.h"

#include <QCoreApplication>
#include <QTimer>

#include <optional>

namespace {

using namespace Qt::StringLiterals;

// How often the receive pane is looked at: PSK31 brings about five characters a second.
constexpr int kPollMs = 250;

// Where fldigi's XML-RPC server is, and how the bridge reads what it decodes.
struct Settings {
    QString address;
    quint16 port = 0;
    FldigiBridge::Options options;
};

// Adds fldigi's options, reads them and checks them; nullopt, having said why, when one is wrong.
std::optional<Settings> readSettings(BridgeMain& fldigi)
{
    QCommandLineParser& parser = fldigi.parser();
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
    fldigi.process();

    Settings settings;
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port == 0 || port > 65535) {
        fldigi.say(u"--port needs a port number (1 to 65535), not \"%1\""_s.arg(parser.value(portOption)));
        return std::nullopt;
    }
    settings.port = quint16(port);
    bool pauseOk = false;
    const double pause = parser.value(pauseOption).toDouble(&pauseOk);
    if (!pauseOk || pause < 0.5 || pause > 600) {
        fldigi.say(u"--pause needs a number of seconds from 0.5 to 600, not \"%1\""_s.arg(parser.value(pauseOption)));
        return std::nullopt;
    }
    settings.options.pause = std::chrono::milliseconds(qRound64(pause * 1000));
    settings.address = parser.value(addressOption).trimmed();
    if (settings.address.isEmpty()) {
        fldigi.say(u"--address needs a host name or address"_s);
        return std::nullopt;
    }
    settings.options.callsign = parser.value(callsignOption).trimmed();
    return settings;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BridgeMain fldigi(u"verbolt-fldigi"_s, QStringLiteral(VERBOLT_VERSION),
        u"A chat host for Verbolt on the session bus (name org.verbolt.ChatHost) that bridges a running fldigi\n"
        "through its XML-RPC interface: what fldigi decodes from the other station reaches Verbolt line by line as\n"
        "CALL>text (at each line end, or after a pause), and what Verbolt sends is transmitted in fldigi's current\n"
        "modem, fitted to what that modem carries, after which fldigi returns to receive. The partner's CALL is\n"
        "the Call field of fldigi's log, else the callsign after \"de\" in what they sent, else the modem's name;\n"
        "this station's own transmitted text, which fldigi also shows in its receive pane, is left out. When fldigi\n"
        "quits, the host closes and Verbolt ends."_s);
    const std::optional<Settings> settings = readSettings(fldigi);
    if (!settings || !fldigi.start())
        return 1;

    XmlRpcFldigiClient client(settings->address, settings->port);
    FldigiBridge bridge(client, settings->options);
    QString why;
    if (!bridge.start(&why))
        return fldigi.fail(why);

    StationInfoServer station([&] { return bridge.callsign(); });
    ChatHostServer chat([&](const QString& text, QString* why) {
        QString sentAs;
        return bridge.sendChatText(text, &sentAs, why) ? std::optional(sentAs) : std::nullopt;
    });
    QObject::connect(&bridge, &FldigiBridge::chatTextReceived, &chat, &ChatHostServer::raiseChatText);
    QObject::connect(&chat, &ChatHostServer::ChatTextSent, &fldigi,
        [&](const QString& sentAs) { fldigi.say(u"sent as: %1"_s.arg(QString(sentAs).replace(u'\r', u" / "_s))); });
    if (!fldigi.serve(chat, station))
        return fldigi.exitStatus();

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &bridge, &FldigiBridge::poll);
    poll.start(kPollMs);
    fldigi.say(
        u"ready as %1 (%2 at %3:%4)"_s.arg(bridge.callsign(), bridge.program(), settings->address).arg(settings->port));
    QObject::connect(&fldigi, &BridgeMain::closing, &poll, &QTimer::stop);
    QObject::connect(&bridge, &FldigiBridge::closing, &fldigi, &BridgeMain::close);
    return fldigi.exec();
}
