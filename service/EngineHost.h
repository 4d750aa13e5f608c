#pragma once

#include "EngineSetup.h"
#include "ServiceConfig.h"
#include "http/ServiceSettings.h"

#include <QHash>
#include <QObject>
#include <QProcessEnvironment>

#include <functional>
#include <memory>

namespace service {

/// The engines the service translates with, and its settings paths: what it serves (/verbolt/engines), a try
/// through one engine alone (/verbolt/try) and a new reading of the configuration file (/verbolt/reload). A reload
/// puts a new setup in place for the next texts; texts under way finish on the setup they started on, which is
/// let go only once none uses it.
class EngineHost : public QObject, public Engine, public ServiceSettings
{
    Q_OBJECT
public:
    using LogSink = std::function<void(const QString& line)>;

    /// Where the configuration comes from, as at start: a reload and a try read it the same way.
    struct Sources {
        QString configPath; ///< as given with --config; empty for the default path
        QProcessEnvironment environment;
        QHash<QString, QString> overrides; ///< from the command line
        ApertiumEngine::Options apertium;
    };

    EngineHost(
        Sources sources, const ServiceConfig& config, std::shared_ptr<EngineSetup> setup, QObject* parent = nullptr);
    ~EngineHost() override;

    void translate(const QString& text, const QString& source, const QString& target, Callback done) override;
    QStringList pairs() const override;
    PairSupport supports(const QString& source, const QString& target) const override;
    void queryLanguages(std::function<void()> done) override;

    void handle(const QByteArray& method, const QByteArray& path, const QByteArray& query, const QByteArray& body,
        Reply done) override;
    ReplyEncoding::EngineTag engineTag(const QString& id) const override;

    /// Reads the configuration file again (POST /verbolt/reload, SIGHUP). On success the new engines take the next
    /// texts and nothing is returned; otherwise the engines stay as they are and the reason is logged and returned.
    std::optional<QString> reload();
    /// Longest text a try takes, as a translation (--max-chars).
    void setMaxTextChars(qsizetype chars) { m_maxTextChars = chars; }
    /// The setup texts go to now.
    EngineSetup& current() const { return *m_current; }
    void setLogSink(LogSink sink);

private:
    QByteArray listing(const QString& lang) const;
    void tryEngine(const QByteArray& form, Reply done);
    /// Why a try that names another address than the engine's own must not go: the stored key would go there.
    /// Empty when it may go (the address is the stored one, the try brings its key, or none is stored).
    QString keyForAddress(const QString& id, const QList<QPair<QString, QString>>& fields) const;
    /// Lets go of a setup from the event loop, never inside one of its own calls.
    void release(std::shared_ptr<EngineSetup> setup);
    void log(const QString& line) const;

    Sources m_sources;
    ServiceConfig m_config;
    std::shared_ptr<EngineSetup> m_current;
    std::shared_ptr<ApertiumEngine> m_apertium;
    LogSink m_log;
    qsizetype m_maxTextChars = 5000;
};

} // namespace service
