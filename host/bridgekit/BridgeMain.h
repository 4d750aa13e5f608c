#pragma once

#include <QCommandLineParser>
#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class ChatHostServer;
class StationInfoServer;
class StopSignals;

/// What every bridge program does around its own part, in this order: names itself and reads its options
/// (process()), watches for stop signals and reaches the session bus (start()), serves the chat host's objects and
/// takes the name org.verbolt.ChatHost (serve()), then runs until the bridge or a stop signal closes it (exec(),
/// close()). Messages go to standard error as "NAME: text"; a step that fails has said why, and the program ends
/// with exitStatus().
class BridgeMain : public QObject
{
    Q_OBJECT
public:
    /// What to do when another program owns the name: the exit status to end with, having said why.
    using NameTaken = std::function<int()>;

    /// Names the program (for --help, --version and messages); a QCoreApplication must exist.
    BridgeMain(const QString& name, const QString& version, const QString& description);
    ~BridgeMain() override;

    /// The options; add the bridge's own before process().
    QCommandLineParser& parser() { return m_parser; }
    /// Reads the options; --help and --version print and end the program here.
    void process();

    /// Says text on standard error as "NAME: text".
    void say(const QString& text) const;
    /// Says why and returns the status for a program that cannot go on (1).
    int fail(const QString& why) const;

    /// Ignores SIGPIPE, watches SIGINT, SIGTERM and SIGHUP, and reaches the session bus; false when one cannot be.
    bool start();
    /// The session bus, once start() has reached it.
    QDBusConnection& bus() { return m_bus; }

    /// Replaces what is done when another program owns the name; by default it says "another chat host owns it".
    void setNameTaken(NameTaken nameTaken) { m_nameTaken = std::move(nameTaken); }
    /// Serves chat and station, then takes the name: the objects are in place before the name is taken, so whoever
    /// sees the name can use them. Objects of the bridge's own are registered on bus() before this.
    bool serve(ChatHostServer& chat, StationInfoServer& station);
    /// The status to end with after a step failed.
    int exitStatus() const { return m_exitStatus; }

    /// Why a stop signal closes the host, as said before "; closing"; empty to close without a word.
    void setStopReason(const QString& reason) { m_stopReason = reason; }
    /// Runs the event loop until close(); a stop signal closes.
    int exec();
    /// Says "why; closing" (nothing when why is empty), raises Closing and ends the event loop; only once.
    void close(const QString& why);

signals:
    /// Closing is about to be raised: stop polling, the program is ending.
    void closing();

private:
    QString m_name;
    QCommandLineParser m_parser;
    std::unique_ptr<StopSignals> m_stop;
    QDBusConnection m_bus{QString()};
    ChatHostServer* m_chat = nullptr;
    NameTaken m_nameTaken;
    QString m_stopReason = QStringLiteral("stopped");
    int m_exitStatus = 1;
    bool m_closing = false;
};
