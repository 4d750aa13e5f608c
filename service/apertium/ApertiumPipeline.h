#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "Interest.h"

#include <functional>
#include <optional>

class QProcess;

/// One Apertium mode kept running in null-flush mode: every stage is started once with -z, texts go in through
/// the first stage's stdin followed by a NUL, and each stage passes the NUL on after flushing, so the text's
/// result is whatever the last stage writes up to its NUL. One text at a time; the rest wait in a queue.
/// Stages are started from an argument vector; no shell is involved.
class ApertiumPipeline : public QObject
{
    Q_OBJECT
public:
    struct Stage {
        QString program;
        QStringList arguments;
        bool operator==(const Stage&) const = default;
    };
    /// ok is false when the pipeline broke down or timed out; output is the stream text before the NUL.
    using Callback = std::function<void(bool ok, const QByteArray& output, const QString& error)>;

    /// The stages of a .mode file as Apertium's own HTTP server runs them: $1 becomes generatorOption, $2 goes,
    /// and -z is added to every stage. nullopt when the file cannot be read or holds shell syntax beyond
    /// pipes and quotes.
    static std::optional<QList<Stage>> parseModeFile(const QString& path, const QString& generatorOption);
    static std::optional<QList<Stage>> parseMode(const QString& mode, const QString& generatorOption);

    ApertiumPipeline(QString name, QList<Stage> stages, int timeoutMs, QObject* parent = nullptr);
    ~ApertiumPipeline() override;

    QString name() const { return m_name; }
    const QList<Stage>& stages() const { return m_stages; }

    /// Starts the processes if they are not running (they also start on the first text).
    void start();
    bool isRunning() const { return !m_processes.isEmpty(); }
    /// Texts waiting, the one in the pipeline included.
    qsizetype pending() const { return m_queue.size() + (m_busy ? 1 : 0); }

    /// Most texts that wait for their turn; one more is refused at once.
    static constexpr qsizetype kMaxWaiting = 256;

    /// Queues stream bytes (without NUL); done runs once, later, from the event loop. The text belongs to the
    /// current Interest: once nobody waits for it, it is dropped before it goes into the pipeline (done then
    /// reports a failure).
    void submit(const QByteArray& input, Callback done);
    /// Stops the processes when no text waits (a later text starts them again); returns whether it did.
    bool stopIdle();

private:
    struct Job {
        QByteArray input;
        Callback done;
        service::Interest interest;
    };
    void failLater(const Callback& done, const QString& why);
    void dropUnwanted();

    void startNext();
    void readOutput();
    void breakDown(const QString& why);
    void stop();
    void watchStall();

    QString m_name;
    QList<Stage> m_stages;
    int m_timeoutMs;
    QList<QProcess*> m_processes;
    QQueue<Job> m_queue;
    Job m_current;
    bool m_busy = false;
    bool m_scheduled = false;
    QByteArray m_buffer;
    QTimer m_timer;
    // A text whose end mark a stage lost (it took the NUL into a word) leaves every stage waiting for input:
    // seen twice in a row, that fails the text at once instead of at the timeout.
    QTimer m_stallTimer;
    int m_stalledChecks = 0;
    qint64 m_stageCpu = -1;
    qsizetype m_outputSeen = 0;
};
