// verbolt-echolink: an EchoLink proxy beside Qtel that is also Verbolt's chat host on the session bus. Qtel reaches
// the EchoLink network through it; the chat of the stations in QSO is raised as CALL>text, and what Verbolt sends goes
// to those stations as Qtel's own chat (with a copy to Qtel's chat pane).

#include "DBusChatHost.h"
#include "EchoLinkBridge.h"
#include "EchoLinkChatHost.h"
#include "EchoLinkStationInfo.h"
#include "ProxyPassword.h"
#include "StopSignals.h"
#include "TcpQtelLink.h"
#include "UdpStationLink.h"
#include "UpstreamStationLink.h"
#include "chathostadaptor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QRegularExpression>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

void say(const QString& text)
{
    const QByteArray line = "verbolt-echolink: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

struct Endpoint {
    QString host;
    quint16 port = 0;
};

std::optional<Endpoint> endpoint(const QString& text)
{
    const QRegularExpressionMatch match = QRegularExpression(u"^\\[?([^\\]]+)\\]?:(\\d{1,5})$"_s).match(text);
    const uint port = match.hasMatch() ? match.captured(2).toUInt() : 0;
    if (port == 0 || port > 65535)
        return std::nullopt;
    return Endpoint{match.captured(1), quint16(port)};
}

QString qtelSettings(const QString& listen, const QString& password)
{
    return u"In Qtel: Settings > Network, tick \"Enable proxy\" (EchoLink proxy), server %1, port %2, password %3; "
           u"then restart Qtel"_s.arg(listen.section(u':', 0, -2), listen.section(u':', -1), password);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"verbolt-echolink"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(VERBOLT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"An EchoLink proxy for Qtel on this machine, and Verbolt's chat host on the session bus (name\n"
        "org.verbolt.ChatHost). Qtel reaches the EchoLink network through it (Qtel: Settings > Network, EchoLink\n"
        "proxy on, server 127.0.0.1, port 8100, the proxy password). Everything is relayed unchanged; the chat of\n"
        "the stations in QSO reaches Verbolt as CALL>text, and what Verbolt sends goes to them as your chat and shows\n"
        "in Qtel's chat pane. The proxy password is read from --password-file, else from\n"
        "$XDG_CONFIG_HOME/verbolt/echolink-proxy.password, made with a random password on first start. It binds the\n"
        "EchoLink UDP ports 5198 and 5199 (Qtel must use the proxy, not the ports), unless --upstream is given.\n"
        "When Qtel has been gone for 15 s, the host closes and Verbolt ends."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listenOption(u"listen"_s, u"Where Qtel connects to the proxy (default 127.0.0.1:8100)."_s,
        u"ADDR:PORT"_s, u"127.0.0.1:8100"_s);
    const QCommandLineOption bindOption(u"bind"_s,
        u"Bind the UDP ports 5198/5199 and the directory connection to this address (default: all)."_s, u"ADDR"_s);
    const QCommandLineOption passwordOption(
        u"password-file"_s, u"Read the proxy password from the first line of FILE."_s, u"FILE"_s);
    const QCommandLineOption encodingOption(u"chat-encoding"_s,
        u"Encoding of chat that is not UTF-8, and of the chat sent (default windows-1252; set Qtel's Chat encoding "
        "to the same)."_s,
        u"NAME"_s, u"windows-1252"_s);
    const QCommandLineOption upstreamOption(u"upstream"_s,
        u"Reach EchoLink through this EchoLink proxy (a public one, behind NAT) instead of binding UDP ports."_s,
        u"HOST:PORT[,PASSWORD]"_s);
    parser.addOptions({listenOption, bindOption, passwordOption, encodingOption, upstreamOption});
    parser.process(app);

    const std::optional<Endpoint> listen = endpoint(parser.value(listenOption));
    const QHostAddress listenAddress(listen ? listen->host : QString());
    if (!listen || listenAddress.isNull()) {
        say(u"--listen needs ADDR:PORT with an IP address, such as 127.0.0.1:8100"_s);
        return 1;
    }
    const QHostAddress bindAddress(parser.isSet(bindOption) ? parser.value(bindOption) : u"0.0.0.0"_s);
    if (bindAddress.protocol() != QAbstractSocket::IPv4Protocol) {
        say(u"--bind needs an IPv4 address of this machine, such as 192.168.1.20"_s);
        return 1;
    }
    const ChatCodec codec(parser.value(encodingOption));
    if (!codec.isValid()) {
        say(u"--chat-encoding: unknown encoding \"%1\" (try windows-1252, UTF-8, ISO-8859-2, windows-1251)"_s.arg(
            parser.value(encodingOption)));
        return 1;
    }
    std::optional<Endpoint> upstream;
    QByteArray upstreamPassword;
    if (parser.isSet(upstreamOption)) {
        const QString value = parser.value(upstreamOption);
        upstream = endpoint(value.section(u',', 0, 0));
        upstreamPassword = value.section(u',', 1).toUtf8();
        if (!upstream) {
            say(u"--upstream needs HOST:PORT[,PASSWORD], such as proxy.example.org:8100,PUBLIC"_s);
            return 1;
        }
    }

    const QString passwordFile
        = parser.isSet(passwordOption) ? parser.value(passwordOption) : ProxyPassword::defaultFile();
    bool made = false;
    QString why;
    const std::optional<QByteArray> password = ProxyPassword::load(passwordFile, &made, &why);
    if (!password) {
        say(why);
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

    std::unique_ptr<StationLink> stations;
    if (upstream) {
        stations = std::make_unique<UpstreamStationLink>(upstream->host, upstream->port, upstreamPassword);
    } else {
        auto direct = std::make_unique<UdpStationLink>();
        if (!direct->bind(bindAddress, &why)) {
            say(u"cannot take the EchoLink ports: %1. Most likely Qtel (or another EchoLink program) is running "
                u"without its proxy turned on and holds them. Quit Qtel, start verbolt-echolink, turn Qtel's proxy on "
                u"(Settings > Network) and start Qtel again; or give --bind with another address"_s.arg(why));
            return 1;
        }
        stations = std::move(direct);
    }
    TcpQtelLink qtel;
    if (!qtel.listen(listenAddress, listen->port, &why)) {
        say(u"cannot listen on %1 for Qtel: %2 (is verbolt-echolink already running?)"_s.arg(
            parser.value(listenOption), why));
        return 1;
    }

    EchoLinkBridge bridge(qtel, *stations, {*password, codec, 15000, {}});
    EchoLinkStationInfo station(bridge);
    EchoLinkChatHost chat(bridge, QDBusObjectPath(DBusChatHost::stationInfoPath));
    new StationInfoAdaptor(&station);
    new ChatHostAdaptor(&chat);
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

    if (made) {
        say(u"made a proxy password, kept in %1: %2"_s.arg(passwordFile, QString::fromLatin1(*password)));
        say(qtelSettings(parser.value(listenOption), QString::fromLatin1(*password)));
    }
    QObject::connect(stations.get(), &StationLink::trouble, &app, [](const QString& text) { say(text); });
    QObject::connect(&bridge, &EchoLinkBridge::statusChanged, &app, [](const QString& text) { say(text); });
    say(u"ready: proxy for Qtel on %1, EchoLink %2"_s.arg(parser.value(listenOption),
        upstream ? u"through %1"_s.arg(parser.value(upstreamOption).section(u',', 0, 0))
                 : u"on UDP 5198/5199 of %1"_s.arg(bindAddress.toString())));

    bool closing = false;
    const auto close = [&](const QString& reason) {
        if (std::exchange(closing, true))
            return;
        say(reason);
        chat.raiseClosing();
        // A round trip through the bus: once it answers, Closing has left ahead of the disconnect.
        bus.interface()->isServiceRegistered(DBusChatHost::serviceName);
        QCoreApplication::quit();
    };
    QObject::connect(&bridge, &EchoLinkBridge::closing, &app, [&](const QString& why) { close(why + u"; closing"_s); });
    QObject::connect(&stop, &StopSignals::stopRequested, &app, [&] { close(u"stopped; closing"_s); });
    return QCoreApplication::exec();
}
