// verbolt-host: a reference chat host on the session bus, driven from a terminal or a script.
// Lines on standard input arrive in the chat; texts sent into the chat are printed on standard output.

#include "ChatTextEscape.h"
#include "ConsoleInput.h"
#include "DBusChatHost.h"
#include "RefChatHost.h"
#include "RefStationInfo.h"
#include "StopSignals.h"
#include "VersionRecord.h"
#include "chathostadaptor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void say(const QString& text)
{
    const QByteArray line = "verbolt-host: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verbolt-host"));
    QCoreApplication::setApplicationVersion(VersionRecord::read().versionText());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A chat host for Verbolt on the session bus (name org.verbolt.ChatHost).\n"
        "Every line read on standard input is raised as a received chat text; every text sent to the host is\n"
        "printed on standard output as one line, with CR, LF and backslash shown as \\r, \\n and \\\\.\n"
        "End of input, SIGINT, SIGTERM or SIGHUP raise Closing and end the host.\n"
        "Prints \"verbolt-host: ready as CALL\" on standard error once it owns the name."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption callsignOption(QStringLiteral("callsign"),
        QStringLiteral("The station's callsign (default N0CALL)."), QStringLiteral("CALL"), QStringLiteral("N0CALL"));
    const QCommandLineOption escapesOption({QStringLiteral("e"), QStringLiteral("escapes")},
        QStringLiteral("Read \\r, \\n and \\\\ in input lines as CR, LF and a backslash, so one line can carry a "
                       "text of several lines."));
    parser.addOption(callsignOption);
    parser.addOption(escapesOption);
    parser.process(app);
    const QString callsign = parser.value(callsignOption);
    const bool escapes = parser.isSet(escapesOption);

    // A reader that went away must not kill the host; its output is then simply lost.
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

    RefStationInfo station(callsign);
    RefChatHost chat{QDBusObjectPath(DBusChatHost::stationInfoPath)};
    new StationInfoAdaptor(&station);
    new ChatHostAdaptor(&chat);
    // The objects are in place before the name is taken, so whoever sees the name can use them.
    if (!bus.registerObject(DBusChatHost::objectPath, &chat)
        || !bus.registerObject(DBusChatHost::stationInfoPath, &station)) {
        say(QStringLiteral("cannot serve the host objects: %1").arg(bus.lastError().message()));
        return 1;
    }
    if (!bus.registerService(DBusChatHost::serviceName)) {
        const QString reason
            = bus.lastError().isValid() ? bus.lastError().message() : QStringLiteral("another chat host owns it");
        say(QStringLiteral("cannot own the name %1: %2").arg(DBusChatHost::serviceName, reason));
        return 1;
    }
    say(QStringLiteral("ready as %1").arg(callsign));

    ConsoleInput input(STDIN_FILENO);
    QObject::connect(&input, &ConsoleInput::lineRead, &chat,
        [&](const QString& line) { chat.raiseChatText(escapes ? unescapeChatText(line) : line); });

    bool closing = false;
    const auto close = [&] {
        if (std::exchange(closing, true))
            return;
        chat.raiseClosing();
        // A round trip through the bus: once it answers, Closing has left ahead of the disconnect.
        bus.interface()->isServiceRegistered(DBusChatHost::serviceName);
        QCoreApplication::quit();
    };
    QObject::connect(&input, &ConsoleInput::ended, &app, close);
    QObject::connect(&stop, &StopSignals::stopRequested, &app, close);
    return QCoreApplication::exec();
}
