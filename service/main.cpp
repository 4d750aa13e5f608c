// verbolt-service: the translation service the Verbolt client talks to, run on this machine.
#include "EngineSetup.h"
#include "ServiceConfig.h"
#include "VersionRecord.h"
#include "apertium/ApertiumEngine.h"
#include "http/ServiceServer.h"
#include "http/SocketActivation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

// Ends the event loop on SIGINT and SIGTERM, so that the engines' processes are stopped and reaped.
void quitOnSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool parseListen(const QString& value, QHostAddress& address, quint16& port)
{
    const qsizetype colon = value.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    QString host = value.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    if (host == u"localhost")
        host = QStringLiteral("127.0.0.1");
    bool ok = false;
    const uint number = value.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535 || !address.setAddress(host))
        return false;
    port = static_cast<quint16>(number);
    return true;
}

void note(const QString& message)
{
    std::fprintf(stderr, "verbolt-service: %s\n", qPrintable(message));
}

int fail(const QString& message)
{
    note(message);
    return 2;
}

// Prints what --list-pairs shows once every engine has said which languages it has (or failed to).
int listPairs(service::EngineSetup& engines)
{
    bool answered = false;
    engines.router().queryLanguages([&answered] {
        answered = true;
        QCoreApplication::quit();
    });
    if (!answered)
        QCoreApplication::exec();
    std::fputs(engines.pairsListing().toUtf8().constData(), stdout);
    return 0;
}

// Listens (or serves the socket systemd handed over) and answers until SIGINT or SIGTERM.
int serve(service::EngineSetup& engines, const service::ServiceLimits& limits, const QString& listen,
    const QHostAddress& address, quint16 port, std::optional<qintptr> activated)
{
    service::ServiceServer server(engines.front(), limits);
    engines.router().setLogSink([&server](const QString& line) { server.log(line); });
    if (activated) {
        if (!server.listenOn(*activated))
            return fail(QStringLiteral("cannot serve the socket systemd handed over: %1").arg(server.errorString()));
    } else if (!server.listen(address, port)) {
        return fail(QStringLiteral("cannot listen on %1: %2").arg(listen, server.errorString()));
    }
    server.log(QStringLiteral("verbolt-service listening on %1:%2")
                   .arg(server.serverAddress().toString())
                   .arg(server.serverPort()));
    // Languages come in while the first texts are already being served.
    engines.router().queryLanguages({});
    quitOnSignals(*QCoreApplication::instance());
    const int status = QCoreApplication::exec();
    engines.router().setLogSink({});
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verbolt-service"));
    QCoreApplication::setApplicationVersion(VersionRecord::read().versionText());
    // Taken before any engine starts a process, so that none inherits the socket.
    QString activationError;
    const std::optional<qintptr> activated = service::activatedSocket(&activationError);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local translation service for Verbolt: answers its translation requests with Apertium and "
                       "the engines set up in $XDG_CONFIG_HOME/verbolt-service.conf (DeepL, Google, LibreTranslate, "
                       "an OpenAI-compatible language model), and logs its usage reports. Keys come from that file "
                       "or from VERBOLT_DEEPL_KEY, VERBOLT_GOOGLE_KEY, VERBOLT_LIBRETRANSLATE_KEY, VERBOLT_LLM_KEY."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listen(QStringLiteral("listen"),
        QStringLiteral("Address and port (default 127.0.0.1:2738)."), QStringLiteral("ADDR:PORT"),
        QStringLiteral("127.0.0.1:2738"));
    const QCommandLineOption config(QStringLiteral("config"),
        QStringLiteral("Read the engines from FILE instead of $XDG_CONFIG_HOME/verbolt-service.conf."),
        QStringLiteral("FILE"));
    const QCommandLineOption listPairsOption(QStringLiteral("list-pairs"),
        QStringLiteral("Print what this machine can translate, and through which engine."));
    const QCommandLineOption libre(QStringLiteral("libretranslate"),
        QStringLiteral("Use the LibreTranslate server at URL (as [libretranslate] url= in the file)."),
        QStringLiteral("URL"));
    const QCommandLineOption modes(QStringLiteral("apertium-modes"),
        QStringLiteral("Directory of Apertium .mode files (default /usr/share/apertium/modes)."), QStringLiteral("DIR"),
        QStringLiteral("/usr/share/apertium/modes"));
    const QCommandLineOption pool(QStringLiteral("apertium-pool"),
        QStringLiteral("Most pipelines one Apertium mode runs at once while its texts wait (default: the number of "
                       "cores)."),
        QStringLiteral("N"));
    const QCommandLineOption preload(QStringLiteral("preload"),
        QStringLiteral("Start the Apertium pipelines of these pairs at once, e.g. en|es,es|en."),
        QStringLiteral("PAIRS"));
    const QCommandLineOption maxChars(QStringLiteral("max-chars"),
        QStringLiteral("Longest text accepted (default 5000 characters)."), QStringLiteral("N"),
        QStringLiteral("5000"));
    const QCommandLineOption phrasebook(QStringLiteral("phrasebook"),
        QStringLiteral("Read the QSO phrasebook shipped with the program from FILE (a TMX file); the user's own in "
                       "$XDG_DATA_HOME/verbolt/phrasebook/*.tmx are read after it."),
        QStringLiteral("FILE"));
    parser.addOptions({listen, config, listPairsOption, libre, modes, pool, preload, maxChars, phrasebook});
    // --help and --version end here, before anything is read or started.
    parser.process(app);
    if (!activationError.isEmpty())
        return fail(activationError);

    QHostAddress address;
    quint16 port = 0;
    if (!parseListen(parser.value(listen), address, port))
        return fail(QStringLiteral("--listen wants ADDR:PORT, such as 127.0.0.1:2738"));
    service::ServiceLimits limits;
    bool ok = false;
    limits.maxTextChars = parser.value(maxChars).toInt(&ok);
    if (!ok || limits.maxTextChars <= 0)
        return fail(QStringLiteral("--max-chars wants a positive number"));

    QHash<QString, QString> overrides;
    if (parser.isSet(libre))
        overrides.insert(QStringLiteral("libretranslate/url"), parser.value(libre));
    QString error;
    auto settings = service::ServiceConfig::load(
        parser.value(config), QProcessEnvironment::systemEnvironment(), &error, overrides);
    if (!settings)
        return fail(error);
    for (const QString& line : settings->notes)
        note(line);
    if (parser.isSet(phrasebook) && !settings->phrasebookFiles.isEmpty())
        settings->phrasebookFiles.first() = QFileInfo(parser.value(phrasebook)).absoluteFilePath();

    service::ApertiumEngine::Options apertiumOptions;
    apertiumOptions.modesDirectory = parser.value(modes);
    if (parser.isSet(pool)) {
        apertiumOptions.poolSize = parser.value(pool).toInt(&ok);
        if (!ok || apertiumOptions.poolSize <= 0)
            return fail(QStringLiteral("--apertium-pool wants a positive number"));
    }
    service::EngineSetup engines(*settings, apertiumOptions);
    for (const QString& line : engines.notes())
        note(line);
    if (engines.isEmpty()) {
        return fail(QStringLiteral("no engine: no Apertium language pairs in %1, and no other engine set up in %2")
                        .arg(apertiumOptions.modesDirectory, settings->shownPath));
    }
    for (const QString& pair : parser.value(preload).split(u',', Qt::SkipEmptyParts)) {
        const QStringList codes = pair.split(u'|');
        if (!engines.apertium() || codes.size() != 2 || !engines.apertium()->preload(codes[0], codes[1]))
            return fail(QStringLiteral("cannot preload the pair %1").arg(pair));
    }
    note(QStringLiteral("engines, in the order tried: ") + engines.summary());

    if (parser.isSet(listPairsOption))
        return listPairs(engines);
    return serve(engines, limits, parser.value(listen), address, port, activated);
}
