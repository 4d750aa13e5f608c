// Benchmark: how quickly the window repaints and shows a typed key while the translation service takes 5 s to
// answer, with the real window and page fetcher against a slow service on loopback. For comparison it measures the
// same while a blocking fetch holds the thread, as the window once did.
#include "ChatHost.h"
#include "CurlPageFetcher.h"
#include "PageFetch.h"
#include "frmVerbolt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kDelayMs = 5000;
constexpr int kSamples = 20;

// Answers every request after kDelayMs.
class SlowService : public QObject
{
public:
    SlowService()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QTimer::singleShot(kDelayMs, socket, [socket] {
                    const QByteArray body = R"({"responseData": {"translatedText":"hello"}, "x": 1})";
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size())
                        + "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server{this};
};

// A chat host that takes everything at once; only the service is slow here.
class QuickHost : public ChatHost
{
public:
    std::optional<QString> callsign() override { return QStringLiteral("EA1ABC"); }
    void requestCallsign(CallsignDone done) override
    {
        QTimer::singleShot(0, this, [done] { done(QStringLiteral("EA1ABC")); });
    }
    void sendChatText(const QString&, SendDone done) override
    {
        QTimer::singleShot(0, this, [done] { done(true); });
    }
    void applyCallSettings() override { }
    void receive(const QString& text) { emit chatTextReceived(text); }
};

// Runs onPaint once, at the next paint.
class PaintWatch : public QObject
{
public:
    std::function<void()> onPaint;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && onPaint)
            std::exchange(onPaint, nullptr)();
        return false;
    }
};

struct Latencies {
    std::vector<double> repaint;
    std::vector<double> key;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double maximum(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void runEventsUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
}

// Asks for a repaint, then posts a key press, kSamples times 100 ms apart, timing each through the event loop.
void sample(frmVerbolt& window, PaintWatch& watch, Latencies& out)
{
    for (int i = 0; i < kSamples; ++i) {
        bool painted = false;
        watch.onPaint = [&painted] { painted = true; };
        QElapsedTimer clock;
        clock.start();
        window.Text1->viewport()->update();
        runEventsUntil([&] { return painted; });
        out.repaint.push_back(clock.nsecsElapsed() / 1e6);

        const QString typed = window.txtInput->text();
        clock.start();
        QCoreApplication::postEvent(
            window.txtInput, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
        runEventsUntil([&] { return window.txtInput->text() != typed; });
        out.key.push_back(clock.nsecsElapsed() / 1e6);

        QElapsedTimer pause;
        pause.start();
        runEventsUntil([&] { return pause.elapsed() >= 100; });
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    SlowService service;
    QFile ini(config.filePath(QStringLiteral("Verbolt.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write(QStringLiteral("[SETTINGS]\nTextFrom=English\nTextTo=German\nServiceHost=127.0.0.1:%1\n")
                  .arg(service.port())
                  .toUtf8());
    ini.close();

    QuickHost* host = nullptr;
    WindowServices services;
    services.createHost = [&host](QString*) {
        auto created = std::make_unique<QuickHost>();
        host = created.get();
        return std::unique_ptr<ChatHost>(std::move(created));
    };
    services.pageFetcher = std::make_unique<net::CurlPageFetcher>();
    services.isOnline = [] { return true; };
    frmVerbolt window(std::move(services));
    if (!window.load())
        return 1;
    window.show();
    PaintWatch watch;
    window.Text1->viewport()->installEventFilter(&watch);
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();

    // Now: a chat text waits 5 s for its translation while the samples are taken.
    Latencies now;
    for (int i = 0; i < 3; ++i)
        host->receive(QStringLiteral("EA1ABC>Hallo %1").arg(i));
    sample(window, watch, now);
    if (!window.isBusy())
        std::fprintf(stderr, "the service answered before the samples were taken\n");

    // Before: the fetch held the window's thread until the answer came. The slow service then has to live on a
    // thread of its own, since this one is held.
    Latencies before;
    {
        QThread serviceThread;
        serviceThread.start();
        auto* elsewhere = new SlowService;
        elsewhere->moveToThread(&serviceThread);
        const quint16 port = elsewhere->port();
        const QString url
            = QStringLiteral("http://127.0.0.1:%1/ajax/services/language/translate?v=1.0&q=x&langpair=de|en").arg(port);
        bool painted = false;
        watch.onPaint = [&painted] { painted = true; };
        const QString typed = window.txtInput->text();
        QElapsedTimer clock;
        clock.start();
        window.Text1->viewport()->update();
        QCoreApplication::postEvent(
            window.txtInput, new QKeyEvent(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b")));
        net::GetUrl(url);
        runEventsUntil([&] { return painted; });
        before.repaint.push_back(clock.nsecsElapsed() / 1e6);
        runEventsUntil([&] { return window.txtInput->text() != typed; });
        before.key.push_back(clock.nsecsElapsed() / 1e6);
        QMetaObject::invokeMethod(
            elsewhere, [elsewhere] { delete elsewhere; }, Qt::BlockingQueuedConnection);
        serviceThread.quit();
        serviceThread.wait();
    }

    std::printf("| Window | Repaint median | Repaint max | Key median | Key max | Samples |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    std::printf("| now, waiting %d s for the service | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %zu |\n",
        kDelayMs / 1000, median(now.repaint), maximum(now.repaint), median(now.key), maximum(now.key), now.key.size());
    std::printf("| before, a blocking fetch of %d s | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %zu |\n", kDelayMs / 1000,
        median(before.repaint), maximum(before.repaint), median(before.key), maximum(before.key), before.key.size());
    return 0;
}
