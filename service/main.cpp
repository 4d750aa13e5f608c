// verbolt-service: the translation service the Verbolt client talks to, run on this machine.
#include "EngineHost.h"
#include "EngineSetup.h"
#include "ServiceConfig.h"
#include "StopSignals.h"
#include "VersionRecord.h"
#include "XdgPaths.h"
#include "apertium/ApertiumEngine.h"
#include "http/OwnSocket.h"
#include "http/ServiceServer.h"
#include "http/SocketActivation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

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

// Where the window looks for the service unless told otherwise (the same rule as net::ServiceAddress).
QString defaultSocketPath()
{
    return XdgPaths::runtimeDir() + QStringLiteral("/verbolt/service.sock");
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

// Where and how to listen, from --listen and --allow-remote.
struct Listening {
    QString socketPath; ///< a Unix socket; else TCP at address:port
    QHostAddress address;
    quint16 port = 0;
    bool allowRemote = false;
};

// Why a TCP address may not be served; empty when it may. One that others can reach needs --allow-remote.
QString remoteProblem(const QHostAddress& address, bool allowRemote, const QString& shown)
{
    if (address.isLoopback())
        return {};
    if (!allowRemote)
        return QStringLiteral("%1 can be reached from other machines; listening there needs --allow-remote").arg(shown);
    note(QStringLiteral("warning: listening on %1, beyond this machine: whoever reaches it can have texts translated "
                        "with the engines and keys set up here")
             .arg(shown));
    return {};
}

// Listens (or serves the socket systemd handed over) and answers until SIGINT or SIGTERM.
int serve(service::EngineHost& engines, const service::ServiceLimits& limits, const Listening& listening,
    std::optional<qintptr> activated)
{
    service::ServiceServer server(engines, limits);
    server.setSettings(&engines);
    engines.setLogSink([&server](const QString& line) { server.log(line); });
    if (activated) {
        if (!server.listenOn(*activated))
            return fail(QStringLiteral("cannot serve the socket systemd handed over: %1").arg(server.errorString()));
        if (!server.tcpGate()) {
            const QString path = service::OwnSocket::boundPath(int(*activated));
            const QString problem
                = path.isEmpty() ? QString() : service::OwnSocket::folderProblem(QFileInfo(path).absolutePath(), false);
            if (!problem.isEmpty())
                return fail(problem);
        } else if (const QString problem
                   = remoteProblem(server.serverAddress(), listening.allowRemote, server.whereListening());
                   !problem.isEmpty()) {
            return fail(problem);
        }
    } else if (!listening.socketPath.isEmpty()) {
        if (!server.listenOnUnixSocket(listening.socketPath))
            return fail(server.errorString());
    } else if (!server.listen(listening.address, listening.port)) {
        return fail(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(listening.address.toString())
                        .arg(listening.port)
                        .arg(server.errorString()));
    }
    server.log(QStringLiteral("verbolt-service listening on %1").arg(server.whereListening()));
    // Languages come in while the first texts are already being served.
    engines.queryLanguages({});
    // SIGINT and SIGTERM end the event loop, so that the engines' processes are stopped and reaped.
    StopSignals stop({SIGINT, SIGTERM});
    QObject::connect(&stop, &StopSignals::stopRequested, QCoreApplication::instance(), &QCoreApplication::quit);
    const int status = QCoreApplication::exec();
    engines.setLogSink({});
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // Keys and texts are in its memory: no core file, and no other process of the user's may read it (ptrace).
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verbolt-service"));
    QCoreApplication::setApplicationVersion(VersionRecord::read().versionText());
    // Taken before any engine starts a process, so that none inherits the socket.
    QString activationError;
    const std::optional<qintptr> activated = service::activatedSocket(&activationError);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local translation service for Verbolt: answers its translation requests with Apertium, "
                       "MyMemory (online, no key, on by default) and the engines set up in "
                       "$XDG_CONFIG_HOME/verbolt-service.conf (DeepL, Google, LibreTranslate, an OpenAI-compatible "
                       "language model), and logs its usage reports. Keys come from that file "
                       "or from VERBOLT_DEEPL_KEY, VERBOLT_GOOGLE_KEY, VERBOLT_LIBRETRANSLATE_KEY, VERBOLT_LLM_KEY."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listen(QStringLiteral("listen"),
        QStringLiteral("Listen on the Unix socket at PATH (default $XDG_RUNTIME_DIR/verbolt/service.sock), or on TCP "
                       "at ADDR:PORT (any local program can use that; see --allow-remote)."),
        QStringLiteral("PATH|ADDR:PORT"));
    const QCommandLineOption allowRemote(
        QStringLiteral("allow-remote"), QStringLiteral("Allow a TCP address other machines can reach (else refused)."));
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
    const QCommandLineOption idle(QStringLiteral("apertium-idle"),
        QStringLiteral("Seconds without a text after which a mode's extra pipelines are retired, and after which the "
                       "mode itself is stopped until its next text (default 20,300)."),
        QStringLiteral("SPARE,MODE"));
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
    parser.addOptions(
        {listen, allowRemote, config, listPairsOption, libre, modes, pool, idle, preload, maxChars, phrasebook});
    // --help and --version end here, before anything is read or started.
    parser.process(app);
    if (!activationError.isEmpty())
        return fail(activationError);

    Listening listening;
    listening.allowRemote = parser.isSet(allowRemote);
    const QString where = parser.isSet(listen) ? parser.value(listen) : defaultSocketPath();
    if (where.startsWith(u'/')) {
        listening.socketPath = where;
    } else if (!parseListen(where, listening.address, listening.port)) {
        return fail(
            QStringLiteral("--listen wants the absolute path of a socket, or ADDR:PORT such as 127.0.0.1:2738"));
    } else if (!activated) {
        if (const QString problem = remoteProblem(listening.address, listening.allowRemote, where); !problem.isEmpty())
            return fail(problem);
    }
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
    if (parser.isSet(idle)) {
        const QStringList times = parser.value(idle).split(u',');
        bool spareOk = false;
        bool modeOk = false;
        const double spare = times.value(0).toDouble(&spareOk);
        const double mode = times.value(1).toDouble(&modeOk);
        if (times.size() != 2 || !spareOk || !modeOk || spare <= 0 || mode <= 0 || spare > 86400 || mode > 86400)
            return fail(QStringLiteral("--apertium-idle wants two times in seconds, such as 20,300"));
        apertiumOptions.spareIdleMs = std::max(1, int(spare * 1000));
        apertiumOptions.modeIdleMs = std::max(1, int(mode * 1000));
    }
    auto setup = std::make_shared<service::EngineSetup>(*settings, apertiumOptions);
    service::EngineSetup& engines = *setup;
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
    service::EngineHost host(
        {parser.value(config), QProcessEnvironment::systemEnvironment(), overrides, apertiumOptions}, *settings, setup);
    return serve(host, limits, listening, activated);
}
