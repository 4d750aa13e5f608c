// verbolt-service: the translation service the Verbolt client talks to, run on this machine.
#include "ApertiumEngine.h"
#include "LibreTranslateEngine.h"
#include "ServiceServer.h"
#include "SocketActivation.h"
#include "VersionRecord.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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

int fail(const QString& message)
{
    std::fprintf(stderr, "verbolt-service: %s\n", qPrintable(message));
    return 2;
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
        QStringLiteral("Local translation service for Verbolt: answers its translation requests with Apertium (or a "
                       "LibreTranslate server) and logs its usage reports."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listen(QStringLiteral("listen"),
        QStringLiteral("Address and port (default 127.0.0.1:2738)."), QStringLiteral("ADDR:PORT"),
        QStringLiteral("127.0.0.1:2738"));
    const QCommandLineOption libre(QStringLiteral("libretranslate"),
        QStringLiteral("Forward texts to the LibreTranslate server at URL instead of Apertium."),
        QStringLiteral("URL"));
    const QCommandLineOption apiKey(
        QStringLiteral("api-key"), QStringLiteral("API key for the LibreTranslate server."), QStringLiteral("KEY"));
    const QCommandLineOption modes(QStringLiteral("apertium-modes"),
        QStringLiteral("Directory of Apertium .mode files (default /usr/share/apertium/modes)."), QStringLiteral("DIR"),
        QStringLiteral("/usr/share/apertium/modes"));
    const QCommandLineOption preload(QStringLiteral("preload"),
        QStringLiteral("Start the Apertium pipelines of these pairs at once, e.g. en|es,es|en."),
        QStringLiteral("PAIRS"));
    const QCommandLineOption maxChars(QStringLiteral("max-chars"),
        QStringLiteral("Longest text accepted (default 5000 characters)."), QStringLiteral("N"),
        QStringLiteral("5000"));
    parser.addOptions({listen, libre, apiKey, modes, preload, maxChars});
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

    std::unique_ptr<service::Engine> engine;
    if (parser.isSet(libre)) {
        const QUrl url(parser.value(libre));
        if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https"))
            return fail(QStringLiteral("--libretranslate wants an http:// or https:// URL"));
        engine = std::make_unique<service::LibreTranslateEngine>(url, parser.value(apiKey));
    } else {
        service::ApertiumEngine::Options options;
        options.modesDirectory = parser.value(modes);
        auto apertium = std::make_unique<service::ApertiumEngine>(options);
        if (apertium->pairs().isEmpty())
            return fail(QStringLiteral("no Apertium language pairs in %1").arg(options.modesDirectory));
        for (const QString& pair : parser.value(preload).split(u',', Qt::SkipEmptyParts)) {
            const QStringList codes = pair.split(u'|');
            if (codes.size() != 2 || !apertium->preload(codes[0], codes[1]))
                return fail(QStringLiteral("cannot preload the pair %1").arg(pair));
        }
        engine = std::move(apertium);
    }

    service::ServiceServer server(*engine, limits);
    if (activated) {
        if (!server.listenOn(*activated))
            return fail(QStringLiteral("cannot serve the socket systemd handed over: %1").arg(server.errorString()));
    } else if (!server.listen(address, port)) {
        return fail(QStringLiteral("cannot listen on %1: %2").arg(parser.value(listen), server.errorString()));
    }
    server.log(QStringLiteral("verbolt-service listening on %1:%2")
                   .arg(server.serverAddress().toString())
                   .arg(server.serverPort()));
    quitOnSignals(app);
    return app.exec();
}
