#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

/// One engine as the running service reports it, in the order it is tried.
struct EngineReport {
    QString id;
    QString name;
    bool online = false;
    bool enabled = true;
    /// It has what it needs (a key, an address); why says what is missing when not.
    bool ready = false;
    QString why;
    /// The settings of its section the dialog shows: "key", "url", "model", "email".
    QStringList fields;
};

/// Which engines serve one language both ways with the operator's.
struct LanguageReach {
    QString code;
    QString name;
    QStringList engines;
};

/// What the service serves, or why it could not tell.
struct EnginesReport {
    QList<EngineReport> engines;
    QList<LanguageReach> languages;
    QString failure;
};

/// A sample translated through one engine alone: its text, or its reason.
struct TryOutcome {
    bool ok = false;
    QString text;
    QString reason;
};

/// The engines settings of the translation service, asked without blocking: every answer comes later, from the
/// event loop, and never after the service object is gone.
class EngineService
{
public:
    using ReportDone = std::function<void(const EnginesReport&)>;
    using TryDone = std::function<void(const TryOutcome&)>;
    /// Empty when the service took the file; else why it refused it (its old settings stay in force).
    using ReloadDone = std::function<void(const QString& refusal)>;

    virtual ~EngineService() = default;

    /// The engines in the order tried and, for each language, those serving it both ways with lang (a code).
    virtual void engines(const QString& lang, ReportDone done) = 0;
    /// Translates text from one code to another through engine alone, with fields ("key", "url", ...) in place
    /// of its running settings.
    virtual void tryEngine(const QString& engine, const QString& from, const QString& to, const QString& text,
        const QMap<QString, QString>& fields, TryDone done)
        = 0;
    /// Asks the service to read its settings file again.
    virtual void reload(ReloadDone done) = 0;
};
