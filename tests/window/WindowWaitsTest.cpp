// The real window with its real network and chat host binding, on a private bus, while the service or the chat host
// keeps it waiting: it goes on repainting and taking keys, shows that it is busy, and handles what arrives in turn.
#include "CurlPageFetcher.h"
#include "DBusChatHost.h"
#include "HostProcess.h"
#include "MessageBox.h"
#include "QtPrinters.h"
#include "frmVerbolt.h"

#include <QDir>
#include <QKeyEvent>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

// A translation service on loopback that holds every request until told to answer it.
class HeldService
{
public:
    HeldService()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                m_waiting.append(socket);
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { m_asked += socket->readAll(); });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    qsizetype waiting() const { return m_waiting.size(); }
    QByteArray asked() const { return m_asked; }

    /// Answers the oldest request with a translation.
    void answer(const QString& translation)
    {
        QTcpSocket* socket = m_waiting.takeFirst();
        const QByteArray body = R"({"responseData": {"translatedText":")" + translation.toUtf8() + R"("}, "x": 1})";
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

private:
    QTcpServer m_server;
    QList<QTcpSocket*> m_waiting;
    QByteArray m_asked;
};

// Counts the paint events a widget gets.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class WindowWaits : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("XDG_STATE_HOME", m_config.path().toUtf8());
        MessageBox::setHook([this](QWidget*, const QString& text) { notices.append(text); });
        ASSERT_TRUE(host.waitReady()) << host.standardError().toStdString();
    }
    void TearDown() override
    {
        MessageBox::setHook({});
        window.reset();
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_STATE_HOME");
    }

    void startWindow()
    {
        QFile ini(m_config.filePath(QStringLiteral("Verbolt.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[SETTINGS]\nTextFrom=English\nTextTo=Espa\u00f1ol\nServiceHost=127.0.0.1:%1\n")
                      .arg(service.port())
                      .toUtf8());
        ini.close();
        WindowServices services;
        services.createHost = [](QString* why) { return DBusChatHost::create(why); };
        services.pageFetcher = std::make_unique<net::CurlPageFetcher>();
        services.isOnline = [] { return true; };
        services.quit = [this] { ++quits; };
        window = std::make_unique<frmVerbolt>(std::move(services));
        ASSERT_TRUE(window->load());
        window->show();
        window->Text1->viewport()->installEventFilter(&painted);
    }

    void type(const QString& text)
    {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(window->txtInput, &press);
        }
    }

    // While a request is held: the pane repaints, keys land in the typing box, the pointer says busy.
    void expectResponsive()
    {
        const int before = painted.paints;
        window->Text1->viewport()->update();
        EXPECT_TRUE(waitUntil([&] { return painted.paints > before; }));
        window->txtInput->clear();
        type(QStringLiteral("typed meanwhile"));
        EXPECT_EQ(window->txtInput->text(), QStringLiteral("typed meanwhile"));
        EXPECT_TRUE(waitUntil([&] { return window->cursor().shape() == Qt::BusyCursor; }));
    }

    QTemporaryDir m_config;
    HeldService service;
    HostProcess host{{QStringLiteral("--callsign"), QStringLiteral("EA1ABC")}};
    std::unique_ptr<frmVerbolt> window;
    PaintCounter painted;
    QStringList notices;
    int quits = 0;
};

TEST_F(WindowWaits, ASlowServiceLeavesTheWindowWorkingAndChatTextsInTurn)
{
    ASSERT_NO_FATAL_FAILURE(startWindow());
    host.write("EA1ABC>hola\nEA1ABC>adios\n");
    ASSERT_TRUE(waitUntil([&] { return service.waiting() == 1; }));

    expectResponsive();
    EXPECT_EQ(window->Text1->text(), QStringLiteral("EA1ABC<<hola\r\n"));

    service.answer(QStringLiteral("EA1ABC~hello"));
    ASSERT_TRUE(waitUntil([&] { return service.waiting() == 1; }));
    service.answer(QStringLiteral("EA1ABC~goodbye"));
    ASSERT_TRUE(waitUntil([&] { return !window->isBusy(); }));

    EXPECT_EQ(window->Text1->text(),
        QStringLiteral("EA1ABC<<hola\r\nEA1ABC<< hello\r\nEA1ABC<<adios\r\nEA1ABC<< goodbye\r\n"));
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(notices.isEmpty()) << notices.join(u'\n');
}

TEST_F(WindowWaits, AFrozenChatHostLeavesTheWindowWorkingAndTakesTheLineLater)
{
    ASSERT_NO_FATAL_FAILURE(startWindow());
    window->txtInput->setText(QStringLiteral("Good morning"));
    host.signal(SIGSTOP);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(window->txtInput, &enter);
    ASSERT_TRUE(waitUntil([&] { return service.waiting() == 1; }));
    service.answer(QStringLiteral("Buenos d\u00edas"));
    // The host is asked now, and does not answer while it is stopped.
    ASSERT_TRUE(waitUntil([&] { return service.waiting() == 0; }));

    expectResponsive();
    EXPECT_TRUE(window->isBusy());

    host.signal(SIGCONT);
    EXPECT_EQ(host.nextOutputLine(), QStringLiteral("Buenos d\u00edas").toUtf8());
    ASSERT_TRUE(waitUntil([&] { return !window->isBusy(); }));
    EXPECT_EQ(window->Text1->text(), QStringLiteral("EA1ABC>< Buenos d\u00edas\r\n"));
    EXPECT_EQ(window->txtInput->text(), QStringLiteral("typed meanwhile"));
}

TEST_F(WindowWaits, AWindowClosedWhileEverythingWaitsGoesAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(startWindow());
    host.write("EA1ABC>hola\n");
    window->txtInput->setText(QStringLiteral("Good morning"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(window->txtInput, &enter);
    ASSERT_TRUE(waitUntil([&] { return service.waiting() == 1; }));

    // Nothing it waits for may come back to it, nor hold its end.
    window.reset();
    service.answer(QStringLiteral("hello"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(WindowWaits, TheHostLeavingDuringAWaitEndsTheProgram)
{
    ASSERT_NO_FATAL_FAILURE(startWindow());
    host.write("EA1ABC>hola\n");
    ASSERT_TRUE(waitUntil([&] { return service.waiting() == 1; }));

    host.closeInput();

    ASSERT_TRUE(waitUntil([&] { return quits > 0; }));
    service.answer(QStringLiteral("hello"));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->Text1->text(), QStringLiteral("EA1ABC<<hola\r\n>!! not translated: the chat host closed\r\n"));
}

TEST_F(WindowWaits, TheHostLeavingWithLinesWaitingKeepsEveryOneInTheTranscript)
{
    ASSERT_NO_FATAL_FAILURE(startWindow());
    // A typed line on its way to a service that does not answer, and five partner lines behind it; one carries a
    // terminal title sequence and a right-to-left override.
    window->txtInput->setText(QStringLiteral("Good morning"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(window->txtInput, &enter);
    ASSERT_TRUE(waitUntil([&] { return service.waiting() == 1; }));
    host.write("EA1ABC>uno\nEA1ABC>dos \x1b]0;x\x07\xe2\x80\xae\nEA1ABC>tres\nEA1ABC>cuatro\nEA1ABC>cinco\n");

    host.closeInput();
    ASSERT_TRUE(waitUntil([&] { return quits > 0; }));

    const QDir folder(m_config.filePath(QStringLiteral("verbolt")));
    const QStringList days = folder.entryList({QStringLiteral("*.txt")}, QDir::Files);
    ASSERT_EQ(days.size(), 1);
    QFile file(folder.filePath(days[0]));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray mark = ">!! not translated: the chat host closed\n";
    // The bus keeps the order: the five texts reached the window before the host's closing did.
    EXPECT_EQ(file.readAll(),
        "EA1ABC>>Good morning\n>!! not sent: the chat host closed\nEA1ABC<<uno\n" + mark
            + "EA1ABC<<dos \\x1b]0;x\\x07\\u202e\n" + mark + "EA1ABC<<tres\n" + mark + "EA1ABC<<cuatro\n" + mark
            + "EA1ABC<<cinco\n" + mark);
    EXPECT_EQ(service.waiting(), 1);
}

} // namespace
