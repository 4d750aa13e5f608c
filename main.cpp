// Verbolt: translates the chat host's text chat both ways, beside the host program.
#include "CommandLine.h"
#include "DBusChatHost.h"
#include "PageFetch.h"
#include "UsageReport.h"
#include "frmVerbolt.h"
#include "http.h"

#include <QApplication>
#include <QIcon>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (const auto exitCode = CommandLine::handle(argc, argv))
        return *exitCode;
    QApplication app(argc, argv);
    // The icon lives in the window's static library; its resources must be pulled in by name.
    Q_INIT_RESOURCE(verbolt);
    QApplication::setApplicationName(QStringLiteral("Verbolt"));
    QApplication::setDesktopFileName(QStringLiteral("verbolt"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/verbolt/verbolt.png")));

    // The usage report reads its reply in pieces; the window's pending events run between them.
    http::setPumpHook([] { QCoreApplication::processEvents(); });

    WindowServices services;
    services.createHost = [](QString* why) { return DBusChatHost::create(why); };
    services.getUrl = net::GetUrl;
    services.isOnline = net::IsOnline;
    services.sendUsageReport = report::sendUsageReport;

    frmVerbolt window(std::move(services));
    if (!window.load())
        return window.hostClosed() ? EXIT_SUCCESS : EXIT_FAILURE;
    window.show();
    return QApplication::exec();
}
