#include "CommandLine.h"

#include "VersionRecord.h"

#include <cstdio>

CommandLine::Answer CommandLine::read(const QStringList& arguments)
{
    Answer answer;
    for (const QString& argument : arguments) {
        if (argument == u"--")
            break;
        // The spellings QCommandLineParser gives the other programs.
        if (argument == u"-h" || argument == u"--help" || argument == u"-?")
            return {0, helpText()};
        if (argument == u"-v" || argument == u"--version")
            return {0, versionText()};
        if (argument == u"--engines")
            answer.engines = true;
    }
    return answer;
}

std::optional<int> CommandLine::handle(int argc, char** argv, Answer* asked)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Answer answer = read(arguments);
    if (asked)
        *asked = answer;
    if (!answer.exitCode)
        return std::nullopt;
    std::fwrite(answer.out.constData(), 1, static_cast<size_t>(answer.out.size()), stdout);
    std::fflush(stdout);
    return answer.exitCode;
}

QByteArray CommandLine::helpText()
{
    return QByteArrayLiteral(
        "Usage: verbolt [options]\n"
        "Translates the text chat of a chat host program both ways, in a window beside it.\n"
        "What you type is translated from your language into your partner's and sent into the chat; what\n"
        "arrives from the chat is shown with its translation into your language.\n"
        "\n"
        "Verbolt needs a chat host on the D-Bus session bus (the name org.verbolt.ChatHost; verbolt-host is\n"
        "one) and the translation service named by ServiceHost (unless set, the socket\n"
        "$XDG_RUNTIME_DIR/verbolt/service.sock), which verbolt-service provides. Installed from the\n"
        "package, the service starts on first use; elsewhere, enable it once with:\n"
        "systemctl --user enable --now verbolt-service.socket\n"
        "\n"
        "Settings are kept in $XDG_CONFIG_HOME/Verbolt.ini (normally ~/.config/Verbolt.ini), the conversation\n"
        "in a file a day in $XDG_STATE_HOME/verbolt/ (normally ~/.local/state/verbolt/).\n"
        "\n"
        "Options:\n"
        "  -h, --help     Displays help on commandline options.\n"
        "  -v, --version  Displays version information.\n"
        "  --engines      Opens the translation engines dialog alone (no chat host needed): the engines in the\n"
        "                 order they are tried, their keys and addresses, a sample tried through one of them.\n"
        "  Qt's own options also apply, such as -platform NAME, -style NAME and -display DISPLAY.\n");
}

QByteArray CommandLine::versionText()
{
    return "verbolt " + VersionRecord::read().versionText().toUtf8() + '\n';
}
