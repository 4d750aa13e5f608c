// The real programs together: verbolt-service with Apertium, verbolt-host as the partner's chat, and the
// verbolt window driven with xdotool on the X server this test runs under.
#include "ChildProcess.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kStartDeadline = 30s;
constexpr std::chrono::milliseconds kTranslateDeadline = 60s;

bool acceptsConnections(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_config.isValid());
        m_port = freeLoopbackPort();

        m_service.process().start(QStringLiteral(VERBOLT_SERVICE_BIN),
            {QStringLiteral("--config"), QStringLiteral(VERBOLT_OFFLINE_CONF), QStringLiteral("--listen"),
                QStringLiteral("127.0.0.1:%1").arg(m_port)});
        ASSERT_TRUE(waitUntil([&] { return acceptsConnections(m_port); }, kStartDeadline)) << m_service.describe();

        m_host.process().start(
            QStringLiteral(VERBOLT_HOST_BIN), {QStringLiteral("--callsign"), QStringLiteral("EA4TST")});
        ASSERT_TRUE(waitUntil([&] { return m_host.err().contains("ready"); }, kStartDeadline)) << m_host.describe();
    }

    QString iniPath() const { return m_config.filePath(QStringLiteral("Verbolt.ini")); }

    /// Starts the window on a settings file that holds settings plus the addresses of the local service (and of
    /// the statistics script, when it is somewhere else).
    void startWindow(const QString& settings, quint16 statsPort = 0)
    {
        QFile ini(iniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[SETTINGS]\r\n%1ServiceHost=127.0.0.1:%2\r\nStatsHost=127.0.0.1:%3\r\n")
                      .arg(settings)
                      .arg(m_port)
                      .arg(statsPort ? statsPort : m_port)
                      .toUtf8());
        ini.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_config.path());
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_window.process().setProcessEnvironment(env);
        m_window.process().start(QStringLiteral(VERBOLT_BIN), {});
        m_windowId = runTool(QStringLiteral("xdotool"),
            {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                QStringLiteral("--name"), QStringLiteral("Dolmex")},
            kStartDeadline)
                         .section(u'\n', 0, 0);
        ASSERT_FALSE(m_windowId.isEmpty()) << m_window.describe();
        runTool(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_windowId});
    }

    void startEnglishSpanishWindow(quint16 statsPort = 0)
    {
        startWindow(QStringLiteral("TextFrom=English\r\nTextTo=Espa\u00f1ol\r\nUseTr=1\r\nTimeStamp=0\r\n"), statsPort);
    }

    void typeLine(const QString& text)
    {
        runTool(QStringLiteral("xdotool"),
            {QStringLiteral("type"), QStringLiteral("--window"), m_windowId, QStringLiteral("--delay"),
                QStringLiteral("15"), text});
        runTool(QStringLiteral("xdotool"),
            {QStringLiteral("key"), QStringLiteral("--window"), m_windowId, QStringLiteral("Return")});
    }

    /// Types a greeting in the window and waits until it reaches the partner in Spanish.
    void greetThePartner()
    {
        typeLine(QStringLiteral("Good morning, my friend."));
        ASSERT_TRUE(waitUntil(
            [&] { return m_host.out().contains(QStringLiteral("Buenos d\u00edas").toUtf8()); }, kTranslateDeadline))
            << m_host.describe() << m_service.describe();
    }

    void clickAt(int x, int y)
    {
        runTool(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QStringLiteral("--window"), m_windowId, QString::number(x),
                QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
    }

    void partnerSays(const QString& text) { m_host.process().write(text.toUtf8() + '\n'); }

    void screenshot(const QString& name)
    {
        const QString dir = QStringLiteral(VERBOLT_ARTIFACT_DIR);
        QDir().mkpath(dir);
        runTool(QStringLiteral("import"), {QStringLiteral("-window"), m_windowId, QDir(dir).filePath(name)});
    }

    QTemporaryDir m_config;
    quint16 m_port = 0;
    Child m_service{QStringLiteral("verbolt-service")};
    Child m_host{QStringLiteral("verbolt-host")};
    Child m_window{QStringLiteral("verbolt")};
    QString m_windowId;
};

TEST_F(EndToEnd, TypedLineReachesThePartnerInSpanish)
{
    ASSERT_NO_FATAL_FAILURE(startEnglishSpanishWindow());
    ASSERT_NO_FATAL_FAILURE(greetThePartner());
    screenshot(QStringLiteral("e2e-outgoing.png"));
}

TEST_F(EndToEnd, PartnerLineIsTranslatedFromSpanishToEnglishAndKept)
{
    ASSERT_NO_FATAL_FAILURE(startEnglishSpanishWindow());
    partnerSays(QStringLiteral("EA4TST>El gato es negro."));
    // The pane's lines as the window wrote them to the day's transcript.
    QByteArray transcript;
    ASSERT_TRUE(waitUntil(
        [&] {
            QFile file(m_config.filePath(
                QStringLiteral("verbolt/") + QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(".txt")));
            transcript = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return transcript.contains("EA4TST<< The cat is black.\n");
        },
        kTranslateDeadline))
        << transcript.toStdString() << m_service.describe() << m_window.describe();
    EXPECT_TRUE(transcript.startsWith("EA4TST<<El gato es negro.\n")) << transcript.toStdString();
}

TEST_F(EndToEnd, VersionProbeIsAnswered)
{
    ASSERT_NO_FATAL_FAILURE(startEnglishSpanishWindow());
    partnerSays(QStringLiteral("EA4TST>qrv? /ver/"));
    ASSERT_TRUE(waitUntil([&] { return m_host.out().contains("*** Dolmex   v1.0"); }, kTranslateDeadline))
        << m_host.describe();
}

TEST_F(EndToEnd, ASilentStatisticsScriptDoesNotHoldTheWindow)
{
    QTcpServer stats;
    ASSERT_TRUE(stats.listen(QHostAddress::LocalHost));
    QList<QTcpSocket*> held;
    QObject::connect(&stats, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = stats.nextPendingConnection())
            held.append(socket);
    });

    ASSERT_NO_FATAL_FAILURE(startEnglishSpanishWindow(stats.serverPort()));

    // The window is up while the report still waits for its answer: it was not held until the post gave up.
    ASSERT_TRUE(waitUntil([&] { return !held.isEmpty(); }, kStartDeadline));
    QCoreApplication::processEvents();
    EXPECT_EQ(held.first()->state(), QAbstractSocket::ConnectedState);
    ASSERT_NO_FATAL_FAILURE(greetThePartner());
}

TEST_F(EndToEnd, OkButtonWritesTheFourKeysOnFirstRun)
{
    // No settings of the user's yet: the defaults are saved.
    ASSERT_NO_FATAL_FAILURE(startWindow(QString()));
    // Command1 sits at 4680,6240 twips, 855x255: its centre in pixels.
    clickAt((4680 + 855 / 2) / 15, (6240 + 255 / 2) / 15);
    const QString path = iniPath();
    QByteArray saved;
    ASSERT_TRUE(waitUntil(
        [&] {
            QFile file(path);
            saved = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return saved.contains("UseTr=0") && saved.contains("TimeStamp=0") && saved.contains("TextFrom=English")
                && saved.contains("TextTo=German");
        },
        kStartDeadline))
        << saved.toStdString();
    screenshot(QStringLiteral("e2e-window.png"));
}

} // namespace
