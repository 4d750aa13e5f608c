// verbolt-host: a reference chat host on the session bus, driven from a terminal or a script.
// Lines on standard input arrive in the chat; texts sent into the chat are printed on standard output.

#include "BridgeMain.h"
#include "ChatHostServer.h"
#include "ChatTextEscape.h"
#include "ConsoleInput.h"
#include "StationInfoServer.h"
#include "VersionRecord.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {

// Shows what a client sent on standard output, escaped to one line, at once.
std::optional<QString> print(const QString& text, QString*)
{
    const QByteArray line = escapeChatText(text).toUtf8() + '\n';
    // Nobody may be reading any more; the host keeps serving all the same.
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BridgeMain host(QStringLiteral("verbolt-host"), VersionRecord::read().versionText(),
        QStringLiteral(
            "A chat host for Verbolt on the session bus (name org.verbolt.ChatHost).\n"
            "Every line read on standard input is raised as a received chat text; every text sent to the host is\n"
            "printed on standard output as one line, with CR, LF and backslash shown as \\r, \\n and \\\\.\n"
            "End of input, SIGINT, SIGTERM or SIGHUP raise Closing and end the host.\n"
            "Prints \"verbolt-host: ready as CALL\" on standard error once it owns the name."));
    const QCommandLineOption callsignOption(QStringLiteral("callsign"),
        QStringLiteral("The station's callsign (default N0CALL)."), QStringLiteral("CALL"), QStringLiteral("N0CALL"));
    const QCommandLineOption escapesOption({QStringLiteral("e"), QStringLiteral("escapes")},
        QStringLiteral("Read \\r, \\n and \\\\ in input lines as CR, LF and a backslash, so one line can carry a "
                       "text of several lines."));
    host.parser().addOption(callsignOption);
    host.parser().addOption(escapesOption);
    host.process();
    const QString callsign = host.parser().value(callsignOption);
    const bool escapes = host.parser().isSet(escapesOption);
    if (!host.start())
        return 1;

    StationInfoServer station([callsign] { return callsign; });
    ChatHostServer chat(print);
    if (!host.serve(chat, station))
        return host.exitStatus();
    host.say(QStringLiteral("ready as %1").arg(callsign));

    ConsoleInput input(STDIN_FILENO);
    QObject::connect(&input, &ConsoleInput::lineRead, &chat,
        [&](const QString& line) { chat.raiseChatText(escapes ? unescapeChatText(line) : line); });
    // Closed quietly: by end of input as by a stop signal.
    QObject::connect(&input, &ConsoleInput::ended, &host, [&] { host.close({}); });
    host.setStopReason({});
    return host.exec();
}
