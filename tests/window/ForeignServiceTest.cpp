// Another user's service on the window's socket: the runtime folder is shared (as /tmp is), and another user made
// verbolt/ and a socket in it first, by running the real service as themselves. The window sends that socket
// nothing, neither a chat text nor the usage report, and says in the pane why nothing was translated.
#include "CurlPageFetcher.h"
#include "MessageBox.h"
#include "QtPrinters.h"
#include "UsageReport.h"
#include "WaitUntil.h"
#include "frmVerbolt.h"
#include "http.h"
#include "FakeChatHost.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

QStringList s_warnings;

void collectWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg)
        s_warnings.append(text);
}

TEST(ForeignService, AnotherUsersSocketInASharedRuntimeFolderIsSentNothing)
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        GTEST_SKIP() << "running the service as another user needs root and setpriv";
    QTemporaryDir shared;
    ASSERT_TRUE(shared.isValid());
    ASSERT_TRUE(QFile::setPermissions(shared.path(), QFile::Permissions(0x7777)));
    const QString runtime = shared.filePath(QStringLiteral("run"));
    const QString theirs = shared.filePath(QStringLiteral("theirs"));
    for (const QString& folder : {runtime, theirs}) {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QFile::setPermissions(folder, QFile::Permissions(0x7777)));
    }

    // The other user's service, in the shared folder, with settings of its own.
    QProcess service;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), theirs);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), theirs);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    service.setProcessEnvironment(env);
    service.start(QStringLiteral("setpriv"),
        {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
            QStringLiteral(VERBOLT_SERVICE_BIN)});
    QByteArray log;
    const auto readLog = [&] {
        log += service.readAllStandardError();
        return log;
    };
    ASSERT_TRUE(waitUntil([&] { return readLog().contains("listening on"); }, std::chrono::seconds(30)))
        << log.constData();
    const QString socket = runtime + QStringLiteral("/verbolt/service.sock");
    ASSERT_EQ(QFileInfo(socket).ownerId(), 65534u);

    // The user's window, which finds that socket where its own service would be.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QFile ini(home.filePath(QStringLiteral("Verbolt.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[SETTINGS]\nTextFrom=English\nTextTo=Spanish\nUseTr=1\n");
    ini.close();
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_STATE_HOME", home.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    QStringList notices;
    MessageBox::setHook([&notices](QWidget*, const QString& text) { notices.append(text); });
    FakeChatHost* host = nullptr;
    WindowServices services;
    services.createHost = [&host](QString*) {
        auto created = std::make_unique<FakeChatHost>();
        host = created.get();
        return std::unique_ptr<ChatHost>(std::move(created));
    };
    services.pageFetcher = std::make_unique<net::CurlPageFetcher>();
    services.isOnline = [] { return true; };
    services.sendUsageReport = report::sendUsageReport;
    services.today = [] { return QDate(2026, 12, 8); };
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    {
        frmVerbolt window(std::move(services));
        ASSERT_TRUE(window.load());
        ASSERT_TRUE(waitUntil([] { return !http::isSending(); }));
        qInstallMessageHandler(previous);
        EXPECT_EQ(s_warnings,
            QStringList{QStringLiteral("http: post to %1 not sent: another user (uid 65534) answers there, not your "
                                       "own service; nothing was sent")
                            .arg(socket)});
        host->receive(QStringLiteral("EA1ABC>hola amigo"));
        ASSERT_TRUE(waitUntil([&] { return !window.isBusy(); }, std::chrono::seconds(30)));

        const QString refused = QStringLiteral(">!! not translated: the translation service at %1 could not be "
                                               "reached: another user (uid 65534) answers there, not your own "
                                               "service; nothing was sent\r\n")
                                    .arg(socket);
        EXPECT_EQ(window.Text1->text(), QStringLiteral("EA1ABC<<hola amigo\r\n") + refused);
        EXPECT_TRUE(host->sent.isEmpty());
    }
    MessageBox::setHook({});
    qunsetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_STATE_HOME");

    // The other user's service heard neither the text nor the report.
    service.terminate();
    EXPECT_TRUE(service.waitForFinished(10000));
    readLog();
    // A translation is logged with its language pair ("es|en 200 ..."), a report as "usage report: ...".
    EXPECT_FALSE(log.contains('|')) << log.constData();
    EXPECT_FALSE(log.contains("usage report")) << log.constData();
}

} // namespace
