#include "apertium/ApertiumPipeline.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace {

// Stages that have no null-flush option (the same list Apertium's HTTP server keeps).
bool takesNullFlush(const QString& program)
{
    static const QRegularExpression exceptions(
        QStringLiteral("^(vislcg3|cg-mwesplit|hfst-tokeni[sz]e|divvun-suggest)"));
    return !exceptions.match(QFileInfo(program).fileName()).hasMatch();
}

} // namespace

std::optional<QList<ApertiumPipeline::Stage>> ApertiumPipeline::parseModeFile(
    const QString& path, const QString& generatorOption)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseMode(QString::fromUtf8(file.readAll()), generatorOption);
}

std::optional<QList<ApertiumPipeline::Stage>> ApertiumPipeline::parseMode(
    const QString& mode, const QString& generatorOption)
{
    QList<QStringList> commands{{}};
    QString token;
    bool inToken = false;
    auto endToken = [&] {
        if (inToken)
            commands.last().append(token);
        token.clear();
        inToken = false;
    };
    enum { Plain, Single, Double } quote = Plain;
    const QString text = mode.trimmed();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quote == Single) {
            if (c == u'\'')
                quote = Plain;
            else
                token += c;
            continue;
        }
        if (quote == Double) {
            if (c == u'"')
                quote = Plain;
            else if (c == u'\\' && i + 1 < text.size())
                token += text[++i];
            else if (c == u'$' || c == u'`')
                return std::nullopt;
            else
                token += c;
            continue;
        }
        if (c.isSpace()) {
            endToken();
        } else if (c == u'|') {
            endToken();
            commands.append(QStringList());
        } else if (c == u'\'') {
            quote = Single;
            inToken = true;
        } else if (c == u'"') {
            quote = Double;
            inToken = true;
        } else if (c == u'\\' && i + 1 < text.size()) {
            token += text[++i];
            inToken = true;
        } else if (c == u'$' && i + 1 < text.size() && (text[i + 1] == u'1' || text[i + 1] == u'2')) {
            if (text[++i] == u'1' && !generatorOption.isEmpty()) {
                token += generatorOption;
                inToken = true;
            }
        } else if (QStringView(u"$;&<>`()*?{}").contains(c)) {
            return std::nullopt;
        } else {
            token += c;
            inToken = true;
        }
    }
    if (quote != Plain)
        return std::nullopt;
    endToken();

    QList<Stage> stages;
    for (QStringList& words : commands) {
        if (words.isEmpty())
            return std::nullopt;
        Stage stage{words.takeFirst(), words};
        if (takesNullFlush(stage.program))
            stage.arguments.prepend(QStringLiteral("-z"));
        stages.append(stage);
    }
    return stages;
}

namespace {

// The service's environment without the engines' keys: no stage of a pipeline has any use for them.
QProcessEnvironment childEnvironment()
{
    QProcessEnvironment kept = QProcessEnvironment::systemEnvironment();
    for (const QString& name : kept.keys()) {
        if (name.startsWith(QLatin1String("VERBOLT_")) && name.endsWith(QLatin1String("_KEY")))
            kept.remove(name);
    }
    return kept;
}

} // namespace

ApertiumPipeline::ApertiumPipeline(QString name, QList<Stage> stages, int timeoutMs, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
    , m_stages(std::move(stages))
    , m_timeoutMs(timeoutMs)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { breakDown(QStringLiteral("timed out")); });
    m_stallTimer.setInterval(250);
    connect(&m_stallTimer, &QTimer::timeout, this, &ApertiumPipeline::watchStall);
}

ApertiumPipeline::~ApertiumPipeline()
{
    stop();
}

void ApertiumPipeline::start()
{
    if (isRunning() || m_stages.isEmpty())
        return;
    for (const Stage& stage : std::as_const(m_stages)) {
        auto* process = new QProcess(this);
        process->setProgram(stage.program);
        process->setArguments(stage.arguments);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setProcessEnvironment(childEnvironment());
        if (!m_processes.isEmpty())
            m_processes.last()->setStandardOutputProcess(process);
        m_processes.append(process);
    }
    for (QProcess* process : std::as_const(m_processes)) {
        connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError) {
            breakDown(QStringLiteral("%1: %2").arg(process->program(), process->errorString()));
        });
        connect(process, &QProcess::finished, this,
            [this, process] { breakDown(QStringLiteral("%1 stopped").arg(process->program())); });
    }
    connect(m_processes.last(), &QProcess::readyReadStandardOutput, this, &ApertiumPipeline::readOutput);
    const QList<QProcess*> processes = m_processes;
    for (QProcess* process : processes) {
        process->start();
        if (!isRunning())
            return; // a stage failed to start and the pipeline has been taken down
    }
}

void ApertiumPipeline::submit(const QByteArray& input, Callback done)
{
    if (m_queue.size() >= kMaxWaiting)
        dropUnwanted();
    if (m_queue.size() >= kMaxWaiting)
        return failLater(done, QStringLiteral("%1: %2 texts wait already").arg(m_name).arg(m_queue.size()));
    m_queue.enqueue({input, std::move(done), service::Interest::current()});
    if (!m_scheduled && !m_busy) {
        // Never answer inside submit(): the caller may not be ready for it.
        m_scheduled = true;
        QMetaObject::invokeMethod(this, &ApertiumPipeline::startNext, Qt::QueuedConnection);
    }
}

bool ApertiumPipeline::stopIdle()
{
    if (pending() > 0 || m_scheduled)
        return false;
    stop();
    return true;
}

void ApertiumPipeline::failLater(const Callback& done, const QString& why)
{
    QMetaObject::invokeMethod(
        this, [done, why] { done(false, {}, why); }, Qt::QueuedConnection);
}

void ApertiumPipeline::dropUnwanted()
{
    QQueue<Job> kept;
    for (Job& job : m_queue) {
        if (job.interest.wanted())
            kept.enqueue(std::move(job));
        else
            failLater(job.done, QStringLiteral("%1: nobody waits for the text any more").arg(m_name));
    }
    m_queue = std::move(kept);
}

void ApertiumPipeline::startNext()
{
    m_scheduled = false;
    // Texts whose client has gone, or that the router has given up on, never go in.
    while (!m_busy && !m_queue.isEmpty() && !m_queue.head().interest.wanted())
        failLater(m_queue.dequeue().done, QStringLiteral("%1: nobody waits for the text any more").arg(m_name));
    if (m_busy || m_queue.isEmpty())
        return;
    start();
    if (!isRunning()) {
        // Could not start: everything waiting fails now (each later, from the event loop).
        const QQueue<Job> failed = std::exchange(m_queue, {});
        for (const Job& job : failed) {
            QMetaObject::invokeMethod(
                this, [done = job.done, name = m_name] { done(false, {}, name + QStringLiteral(" did not start")); },
                Qt::QueuedConnection);
        }
        return;
    }
    m_current = m_queue.dequeue();
    m_busy = true;
    m_buffer.clear();
    m_processes.first()->write(m_current.input + '\0');
    m_timer.start(m_timeoutMs);
    m_stalledChecks = 0;
    m_stageCpu = -1;
    m_outputSeen = 0;
    m_stallTimer.start();
}

namespace {

// Whether a process sleeps with no child of its own (so it waits for input, on a pipe here), and the CPU time it
// has used, from /proc.
bool sleeping(qint64 pid, qint64* cpu)
{
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (!children.open(QIODevice::ReadOnly) || !children.read(64).trimmed().isEmpty())
        return false;
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray stat = file.read(1024);
    // After the command name: state, then utime and stime as the 12th and 13th fields.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return false;
    *cpu += fields[11].toLongLong() + fields[12].toLongLong();
    return fields[0] == "S";
}

} // namespace

void ApertiumPipeline::watchStall()
{
    if (!m_busy || m_processes.isEmpty()) {
        m_stallTimer.stop();
        return;
    }
    qint64 cpu = 0;
    bool waiting = m_processes.first()->bytesToWrite() == 0;
    for (QProcess* process : std::as_const(m_processes))
        waiting = sleeping(process->processId(), &cpu) && waiting;
    const bool still = waiting && cpu == m_stageCpu && m_buffer.size() == m_outputSeen;
    m_stageCpu = cpu;
    m_outputSeen = m_buffer.size();
    m_stalledChecks = still ? m_stalledChecks + 1 : 0;
    if (m_stalledChecks >= 2)
        breakDown(QStringLiteral("lost the end of the text (every stage waits for more input)"));
}

void ApertiumPipeline::readOutput()
{
    if (m_processes.isEmpty())
        return;
    m_buffer += m_processes.last()->readAllStandardOutput();
    qsizetype nul;
    while ((nul = m_buffer.indexOf('\0')) >= 0) {
        const QByteArray output = m_buffer.left(nul);
        m_buffer.remove(0, nul + 1);
        if (!m_busy)
            continue; // a flush nobody waits for, after a breakdown
        m_timer.stop();
        m_stallTimer.stop();
        m_busy = false;
        const Callback done = std::exchange(m_current.done, {});
        done(true, output, {});
    }
    if (!m_busy && !m_queue.isEmpty() && !m_scheduled) {
        m_scheduled = true;
        QMetaObject::invokeMethod(this, &ApertiumPipeline::startNext, Qt::QueuedConnection);
    }
}

void ApertiumPipeline::breakDown(const QString& why)
{
    if (m_processes.isEmpty())
        return;
    qWarning("apertium %s: %s; restarting on the next text", qPrintable(m_name), qPrintable(why));
    stop();
    m_timer.stop();
    m_stallTimer.stop();
    if (m_busy) {
        m_busy = false;
        const Callback done = std::exchange(m_current.done, {});
        QMetaObject::invokeMethod(
            this, [done, name = m_name, why] { done(false, {}, QStringLiteral("%1: %2").arg(name, why)); },
            Qt::QueuedConnection);
    }
    if (!m_queue.isEmpty() && !m_scheduled) {
        m_scheduled = true;
        QMetaObject::invokeMethod(this, &ApertiumPipeline::startNext, Qt::QueuedConnection);
    }
}

void ApertiumPipeline::stop()
{
    const QList<QProcess*> processes = std::exchange(m_processes, {});
    for (QProcess* process : processes) {
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(2000);
        }
        // Later: this may run inside one of the process's own signals.
        process->deleteLater();
    }
}
