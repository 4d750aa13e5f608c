// Verbolt: translates the chat host's text chat both ways, beside the host program.
#include "CommandLine.h"
#include "CurlPageFetcher.h"
#include "DBusChatHost.h"
#include "EnginesOpener.h"
#include "PageFetch.h"
#include "UsageReport.h"
#include "frmVerbolt.h"

#include <QApplication>
#include <QIcon>

#include <cstdlib>

int main(int argc, char** argv)
{
    CommandLine::Answer asked;
    if (const auto exitCode = CommandLine::handle(argc, argv, &asked))
        return *exitCode;
    QApplication app(argc, argv);
    // The icon lives in the window's static library; its resources must be pulled in by name.
    Q_INIT_RESOURCE(verbolt);
    QApplication::setApplicationName(QStringLiteral("Verbolt"));
    QApplication::setDesktopFileName(QStringLiteral("verbolt"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/verbolt/verbolt.png")));

    if (asked.engines) {
        net::CurlPageFetcher fetcher;
        return EnginesOpener::runAlone(&fetcher);
    }

    WindowServices services;
    services.createHost = [](QString* why) { return DBusChatHost::create(why); };
    services.pageFetcher = std::make_unique<net::CurlPageFetcher>();
    services.isOnline = net::IsOnline;
    services.sendUsageReport = report::sendUsageReport;

    frmVerbolt window(std::move(services));
    if (!window.load())
        return window.hostClosed() ? EXIT_SUCCESS : EXIT_FAILURE;
    window.show();
    return QApplication::exec();
}
