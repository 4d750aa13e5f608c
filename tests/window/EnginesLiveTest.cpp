// The real service and the real network under the window and its engines dialog: English to German has no
// engine; the operator follows the notice's button, pastes a DeepL key, tries it, saves, and the same line then
// goes through DeepL (a loopback fake that speaks its API) without the service being restarted.
#include "CurlPageFetcher.h"
#include "EnginesDialog.h"
#include "EnginesOpener.h"
#include "FakeChatHost.h"
#include "MessageBox.h"
#include "QtPrinters.h"
#include "WaitUntil.h"
#include "frmVerbolt.h"
#include "service/FakeProviders.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using servicetest::FakeHttpServer;

// Where the service listens for this test.

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &press);
    }
}

void pressEnter(QWidget* widget)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(widget, &press);
}

TEST(EnginesLive, AKeyPastedTriedAndSavedTranslatesTheNextLineWithoutARestart)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString config = home.filePath(QStringLiteral("config"));
    QDir().mkpath(config);
    FakeHttpServer deepl;
    deepl.handler = servicetest::deepl(QStringLiteral("pasted-key:fx"), {QStringLiteral("EN")}, {QStringLiteral("DE")});
    // No key yet, MyMemory off: nothing here translates English to German.
    writeFile(config + QStringLiteral("/verbolt-service.conf"),
        "[mymemory]\nenabled=no\n\n[deepl]\nurl=" + deepl.url().toEncoded() + "\n");

    // The settings paths are served on the user's own socket only.
    const QString socket = home.filePath(QStringLiteral("run/service.sock"));
    QDir().mkpath(home.filePath(QStringLiteral("run")));
    QFile::setPermissions(home.filePath(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
            | QFileDevice::ExeOwner);
    writeFile(config + QStringLiteral("/Verbolt.ini"),
        "[SETTINGS]\nTextFrom=English\nTextTo=German\nTranscript=0\nServiceHost=" + socket.toUtf8()
            + "\n");

    QProcess service;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.remove(QStringLiteral("VERBOLT_DEEPL_KEY"));
    service.setProcessEnvironment(env);
    service.start(QStringLiteral(VERBOLT_SERVICE_BIN), {QStringLiteral("--listen"), socket});
    ASSERT_TRUE(service.waitForStarted());
    QByteArray log;
    ASSERT_TRUE(waitUntil(
        [&] {
            log += service.readAllStandardError();
            return log.contains("listening on");
        },
        std::chrono::seconds(20)))
        << log.constData();

    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    qputenv("XDG_STATE_HOME", home.path().toUtf8());
    QStringList notices;
    MessageBox::setHook([&notices](QWidget*, const QString& text) { notices.append(text); });
    MessageBox::preAnswer(EnginesOpener::setUpButton());
    FakeChatHost* host = nullptr;
    WindowServices services;
    services.createHost = [&host](QString*) {
        auto created = std::make_unique<FakeChatHost>();
        host = created.get();
        return std::unique_ptr<ChatHost>(std::move(created));
    };
    services.pageFetcher = std::make_unique<net::CurlPageFetcher>();
    services.isOnline = [] { return true; };
    frmVerbolt window(std::move(services));
    ASSERT_TRUE(window.load());
    window.show();
    const QString line = QStringLiteral("Zebra quantum seventeen");

    window.txtInput->setText(line);
    pressEnter(window.txtInput);
    EnginesDialog* dialog = nullptr;
    ASSERT_TRUE(
        waitUntil([&] { return (dialog = window.findChild<EnginesDialog*>()) != nullptr; }, std::chrono::seconds(30)))
        << notices.join(u'\n');
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(EnginesOpener::noEngineServes(notices.first())) << notices.first();
    EXPECT_EQ(window.txtInput->text(), line);

    auto* list = dialog->findChild<QListWidget*>(QStringLiteral("engineList"));
    auto* status = dialog->findChild<QLabel*>(QStringLiteral("status"));
    ASSERT_TRUE(waitUntil([&] { return list->count() == 7 && status->text().isEmpty(); }));
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(Qt::UserRole).toString() == u"deepl")
            list->setCurrentRow(i);
    }
    type(dialog->findChild<QLineEdit*>(QStringLiteral("field_key")), QStringLiteral("pasted-key:fx"));
    auto* tried = dialog->findChild<QLabel*>(QStringLiteral("tryResult"));
    dialog->findChild<QPushButton*>(QStringLiteral("tryButton"))->click();
    ASSERT_TRUE(
        waitUntil([&] { return tried->text().contains(QStringLiteral("DeepL answers")); }, std::chrono::seconds(20)))
        << tried->text();
    EXPECT_TRUE(tried->text().contains(QStringLiteral("[DE] ")));

    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
    ASSERT_TRUE(
        waitUntil([&] { return status->text().startsWith(QStringLiteral("Saved.")); }, std::chrono::seconds(20)))
        << status->text();

    pressEnter(window.txtInput);
    ASSERT_TRUE(waitUntil([&] { return !window.isBusy() && host && !host->sent.isEmpty(); }, std::chrono::seconds(30)))
        << window.Text1->text();
    EXPECT_EQ(host->sent, QStringList{QStringLiteral("[DE] ") + line});
    EXPECT_TRUE(window.Text1->text().endsWith(
        QStringLiteral(">!! translated online by DeepL (DeepL, 127.0.0.1:%1)\r\nEA1XYZ>< [DE] %2\r\n")
            .arg(deepl.url().port())
            .arg(line)))
        << window.Text1->text();
    EXPECT_EQ(service.state(), QProcess::Running) << "the same service, never restarted";

    MessageBox::setHook({});
    service.terminate();
    EXPECT_TRUE(service.waitForFinished());
}

} // namespace
