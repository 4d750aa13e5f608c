// verbolt-echolink: an EchoLink proxy beside Qtel that is also Verbolt's chat host on the session bus. Qtel reaches
// the EchoLink network through it; the chat of the stations in QSO is raised as CALL>text, and what Verbolt sends goes
// to those stations as Qtel's own chat, with a copy to Qtel's chat pane.

#include "BridgeMain.h"
#include "ChatHostServer.h"
#include "EchoLinkBridge.h"
#include "EchoLinkOptions.h"
#include "ProxyPassword.h"
#include "StationInfoServer.h"
#include "TcpQtelLink.h"
#include "UdpStationLink.h"
#include "UpstreamStationLink.h"

#include <QCoreApplication>

#include <memory>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BridgeMain main(u"verbolt-echolink"_s, QStringLiteral(VERBOLT_VERSION),
        u"An EchoLink proxy for Qtel on this machine, and Verbolt's chat host on the session bus (name\n"
        "org.verbolt.ChatHost). Qtel reaches the EchoLink network through it: in Qtel, Settings > Qtel Settings...,\n"
        "Network tab, EchoLink Proxy Settings: Enable, server 127.0.0.1, TCP port 8100, the proxy password.\n"
        "Everything is relayed unchanged; the chat of the stations in QSO reaches Verbolt as CALL>text, and what\n"
        "Verbolt sends goes to them as your chat and shows in Qtel's chat pane. It binds the EchoLink UDP ports\n"
        "5198 and 5199, so Qtel must use the proxy (unless --upstream is given). When Qtel has been gone for 15 s,\n"
        "the host closes and Verbolt ends."_s);
    EchoLinkOptions options;
    options.addTo(main.parser());
    main.process();
    QString why;
    if (!options.read(main.parser(), &why))
        return main.fail(why);
    bool made = false;
    const std::optional<QByteArray> password = ProxyPassword::load(options.passwordFile, &made, &why);
    if (!password)
        return main.fail(why);
    if (made) {
        main.say(u"made a proxy password, kept in %1: %2"_s.arg(options.passwordFile, QString::fromLatin1(*password)));
        main.say(u"in Qtel: Settings > Qtel Settings..., Network tab, EchoLink Proxy Settings: tick Enable, server %1, "
                 u"TCP port %2, password %3"_s.arg(options.listenAddress.toString())
                     .arg(options.listenPort)
                     .arg(QString::fromLatin1(*password)));
    }
    if (!main.start())
        return 1;

    std::unique_ptr<StationLink> stations;
    if (!options.upstreamHost.isEmpty()) {
        stations = std::make_unique<UpstreamStationLink>(
            options.upstreamHost, options.upstreamPort, options.upstreamPassword);
    } else {
        auto direct = std::make_unique<UdpStationLink>();
        if (!direct->bind(options.bindAddress, &why)) {
            return main.fail(
                u"cannot take the EchoLink ports (%1). Most likely Qtel, or another EchoLink program, runs "
                u"without its proxy turned on and holds them: quit it, start verbolt-echolink, then turn "
                u"Qtel's proxy on (Settings > Qtel Settings..., Network tab) and start Qtel again; or give --bind ADDR"_s
                    .arg(why));
        }
        stations = std::move(direct);
    }
    TcpQtelLink qtel;
    if (!qtel.listen(options.listenAddress, options.listenPort, &why))
        return main.fail(u"cannot listen for Qtel on %1: %2"_s.arg(options.listen, why));

    EchoLinkBridge bridge(qtel, *stations, {*password, options.codec, 15000, {}});
    StationInfoServer station([&] { return bridge.callsign(); });
    ChatHostServer chat([&](const QString& text, QString* why) { return bridge.sendChatText(text, why); },
        [&] { return bridge.status(); });
    QObject::connect(&bridge, &EchoLinkBridge::chatTextReceived, &chat, &ChatHostServer::raiseChatText);
    QObject::connect(&bridge, &EchoLinkBridge::statusChanged, &chat, &ChatHostServer::raiseStatus);
    QObject::connect(&bridge, &EchoLinkBridge::statusChanged, &main, &BridgeMain::say);
    QObject::connect(stations.get(), &StationLink::trouble, &main, &BridgeMain::say);
    if (!main.serve(chat, station))
        return main.exitStatus();

    // The callsign is Qtel's, known once Qtel logs in.
    main.say(
        u"ready as the callsign Qtel logs in with; proxy for Qtel on %1; %2"_s.arg(options.listen, bridge.status()));
    QObject::connect(&bridge, &EchoLinkBridge::closing, &main, &BridgeMain::close);
    return main.exec();
}
