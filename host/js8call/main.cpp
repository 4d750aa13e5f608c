// verbolt-js8call: a chat host on the session bus that bridges JS8Call to Verbolt through JS8Call's TCP API.
// Directed messages to the operator are raised as chat texts; texts sent to the host go out directed to the partner.

#include "BridgeMain.h"
#include "ChatHostServer.h"
#include "Js8Bridge.h"
#include "StationInfoServer.h"
#include "TcpJs8Client.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// JS8Call answers at once on its own machine; these only guard against one that hangs.
constexpr int kConnectTimeoutMs = 3000;
constexpr int kCallsignTimeoutMs = 5000;

const QString kWhereToEnable = u"in JS8Call's settings (File > Settings, F2), on the Reporting tab, tick \"Enable TCP "
                               u"Server API\" and \"Accept TCP Requests\""_s;

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
    BridgeMain js8call(u"verbolt-js8call"_s, QStringLiteral(VERBOLT_VERSION),
        u"A chat host for Verbolt on the session bus (name org.verbolt.ChatHost) that bridges a running JS8Call\n"
        "through its TCP API. Directed messages to your callsign (or from the --partner station, or to the --group)\n"
        "reach Verbolt as CALL>text; what Verbolt sends goes out directed to the partner: the station given with\n"
        "--partner, else the one that wrote last. Text JS8Call cannot carry is transliterated (Cyrillic, Greek),\n"
        "loses its accents, or is refused with the reason (Chinese, Arabic, ...). The callsign is JS8Call's own.\n"
        "JS8Call's API must be on: in JS8Call's settings (File > Settings, F2), Reporting tab, tick \"Enable TCP\n"
        "Server API\" and \"Accept TCP Requests\". When JS8Call quits, the host closes and Verbolt ends."_s);
    const QCommandLineOption apiOption(u"api"_s,
        u"Where JS8Call's TCP API listens (default 127.0.0.1:2442, as JS8Call's settings say)."_s, u"HOST:PORT"_s,
        u"127.0.0.1:2442"_s);
    const QCommandLineOption partnerOption(
        u"partner"_s, u"Talk with this station only: its messages are raised, and all texts go to it."_s, u"CALL"_s);
    const QCommandLineOption groupOption(
        u"group"_s, u"Also raise messages to this group, and write to it until a station writes."_s, u"@NAME"_s);
    QCommandLineParser& parser = js8call.parser();
    parser.addOption(apiOption);
    parser.addOption(partnerOption);
    parser.addOption(groupOption);
    js8call.process();

    const QString partner = parser.value(partnerOption).trimmed().toUpper();
    const QString group = parser.value(groupOption).trimmed().toUpper();
    if (parser.isSet(partnerOption) && !QRegularExpression(u"^[A-Z0-9/]+$"_s).match(partner).hasMatch())
        return js8call.fail(u"--partner needs a callsign (letters, digits and /)"_s);
    if (parser.isSet(groupOption) && !QRegularExpression(u"^@[A-Z0-9/]+$"_s).match(group).hasMatch())
        return js8call.fail(u"--group needs a group name starting with @ (such as @HB)"_s);
    const QString api = parser.value(apiOption);
    const QRegularExpressionMatch where = QRegularExpression(u"^(.+):(\\d{1,5})$"_s).match(api);
    const uint port = where.hasMatch() ? where.captured(2).toUInt() : 0;
    if (port == 0 || port > 65535)
        return js8call.fail(u"--api needs HOST:PORT, such as 127.0.0.1:2442"_s);
    if (!js8call.start())
        return 1;

    TcpJs8Client js8;
    QString why;
    if (!js8.connectTo(where.captured(1), quint16(port), kConnectTimeoutMs, &why)) {
        return js8call.fail(u"JS8Call is not running, or its TCP API is off: nothing answers at %1 (%2); %3"_s.arg(
            api, why, kWhereToEnable));
    }
    const QString callsign = firstCallsign(js8, &why);
    if (callsign.isEmpty()) {
        return js8call.fail(why.isEmpty()
                ? u"JS8Call's API at %1 does not answer requests, or no callsign is set in JS8Call; %2"_s.arg(
                    api, kWhereToEnable)
                : why);
    }

    Js8Bridge bridge(js8, {partner, group}, callsign);
    StationInfoServer station([&] { return bridge.callsign(); });
    ChatHostServer chat([&](const QString& text, QString* why) { return bridge.sendChatText(text, why); });
    QObject::connect(&bridge, &Js8Bridge::chatTextReceived, &chat, &ChatHostServer::raiseChatText);
    if (!js8call.serve(chat, station))
        return js8call.exitStatus();

    const QString to = bridge.addressee();
    js8call.say(u"ready as %1 (JS8Call at %2, %3)"_s.arg(
        callsign, api, to.isEmpty() ? u"answering whoever writes"_s : u"writing to %1"_s.arg(to)));
    QObject::connect(&bridge, &Js8Bridge::closing, &js8call, &BridgeMain::close);
    return js8call.exec();
}
