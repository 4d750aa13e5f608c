// verbolt-js8call: a chat host on the session bus that bridges JS8Call to Verbolt through JS8Call's TCP API.
// Directed messages to the operator are raised as chat texts; texts sent to the host go out directed to the partner.

#include "DBusChatHost.h"
#include "Js8Bridge.h"
#include "Js8ChatHost.h"
#include "Js8StationInfo.h"
#include "StopSignals.h"
#include "TcpJs8Client.h"
#include "chathostadaptor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QRegularExpression>
#include <QTimer>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// JS8Call answers at once on its own machine; these only guard against one that hangs.
constexpr int kConnectTimeoutMs = 3000;
constexpr int kCallsignTimeoutMs = 5000;

const QString kWhereToEnable = u"in JS8Call's settings (File > Settings, F2), on the Reporting tab, tick \"Enable TCP "
                               u"Server API\" and \"Accept TCP Requests\""_s;

void say(const QString& text)
{
    const QByteArray line = "verbolt-js8call: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

// Waits for JS8Call's first answer: its callsign. Empty when it does not answer in time or goes.
QString firstCallsign(Js8Client& client, QString* why)
{
    QString call;
    QEventLoop wait;
    QTimer::singleShot(kCallsignTimeoutMs, &wait, &QEventLoop::quit);
    QObject::connect(&client, &Js8Client::callsignReceived, &wait, [&](const QString& answer) {
        call = answer.trimmed();
        wait.quit();
    });
    QObject::connect(&client, &Js8Client::ended, &wait, [&](const QString& reason) {
        *why = reason;
        wait.quit();
    });
    client.requestCallsign();
    wait.exec();
    return call;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"verbolt-js8call"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(VERBOLT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A chat host for Verbolt on the session bus (name org.verbolt.ChatHost) that bridges a running JS8Call\n"
        "through its TCP API. Directed messages to your callsign (or from the --partner station, or to the --group)\n"
        "reach Verbolt as CALL>text; what Verbolt sends goes out directed to the partner: the station given with\n"
        "--partner, else the one that wrote last. Text JS8Call cannot carry is transliterated (Cyrillic, Greek),\n"
        "loses its accents, or is refused with the reason (Chinese, Arabic, ...). The callsign is JS8Call's own.\n"
        "JS8Call's API must be on: in JS8Call's settings (File > Settings, F2), Reporting tab, tick \"Enable TCP\n"
        "Server API\" and \"Accept TCP Requests\". When JS8Call quits, the host closes and Verbolt ends."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption apiOption(u"api"_s,
        u"Where JS8Call's TCP API listens (default 127.0.0.1:2442, as JS8Call's settings say)."_s, u"HOST:PORT"_s,
        u"127.0.0.1:2442"_s);
    const QCommandLineOption partnerOption(
        u"partner"_s, u"Talk with this station only: its messages are raised, and all texts go to it."_s, u"CALL"_s);
    const QCommandLineOption groupOption(
        u"group"_s, u"Also raise messages to this group, and write to it until a station writes."_s, u"@NAME"_s);
    parser.addOption(apiOption);
    parser.addOption(partnerOption);
    parser.addOption(groupOption);
    parser.process(app);

    const QString partner = parser.value(partnerOption).trimmed().toUpper();
    const QString group = parser.value(groupOption).trimmed().toUpper();
    if (parser.isSet(partnerOption) && !QRegularExpression(u"^[A-Z0-9/]+$"_s).match(partner).hasMatch()) {
        say(u"--partner needs a callsign (letters, digits and /)"_s);
        return 1;
    }
    if (parser.isSet(groupOption) && !QRegularExpression(u"^@[A-Z0-9/]+$"_s).match(group).hasMatch()) {
        say(u"--group needs a group name starting with @ (such as @HB)"_s);
        return 1;
    }
    const QString api = parser.value(apiOption);
    const QRegularExpressionMatch where = QRegularExpression(u"^(.+):(\\d{1,5})$"_s).match(api);
    const uint port = where.hasMatch() ? where.captured(2).toUInt() : 0;
    if (port == 0 || port > 65535) {
        say(u"--api needs HOST:PORT, such as 127.0.0.1:2442"_s);
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

    TcpJs8Client js8;
    QString why;
    if (!js8.connectTo(where.captured(1), quint16(port), kConnectTimeoutMs, &why)) {
        say(u"JS8Call is not running, or its TCP API is off: nothing answers at %1 (%2); %3"_s.arg(
            api, why, kWhereToEnable));
        return 1;
    }
    const QString callsign = firstCallsign(js8, &why);
    if (callsign.isEmpty()) {
        say(why.isEmpty() ? u"JS8Call's API at %1 does not answer requests, or no callsign is set in JS8Call; %2"_s.arg(
                api, kWhereToEnable)
                          : why);
        return 1;
    }

    Js8Bridge bridge(js8, {partner, group}, callsign);
    Js8StationInfo station(bridge);
    Js8ChatHost chat(bridge, QDBusObjectPath(DBusChatHost::stationInfoPath));
    new StationInfoAdaptor(&station);
    new ChatHostAdaptor(&chat);
    QObject::connect(&bridge, &Js8Bridge::chatTextReceived, &chat, &Js8ChatHost::raiseChatText);

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

    const QString to = bridge.addressee();
    say(u"ready as %1 (JS8Call at %2, %3)"_s.arg(
        callsign, api, to.isEmpty() ? u"answering whoever writes"_s : u"writing to %1"_s.arg(to)));

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
    QObject::connect(
        &bridge, &Js8Bridge::closing, &app, [&](const QString& reason) { close(reason + u"; closing"_s); });
    QObject::connect(&stop, &StopSignals::stopRequested, &app, [&] { close(u"stopped; closing"_s); });
    return QCoreApplication::exec();
}
