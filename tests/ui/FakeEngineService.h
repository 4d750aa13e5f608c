#pragma once

#include "EngineService.h"

#include <QObject>
#include <QTimer>

// The service's settings paths in memory: answers from the event loop, records what it was asked.
class FakeEngineService : public QObject, public EngineService
{
public:
    struct Try {
        QString engine, from, to, text;
        QMap<QString, QString> fields;
    };

    EnginesReport report;
    TryOutcome outcome{true, QStringLiteral("Guten Morgen"), {}};
    QString refusal;

    QStringList langs;
    QList<Try> tries;
    int reloads = 0;

    void engines(const QString& lang, ReportDone done) override
    {
        langs.append(lang);
        later([this, done] { done(report); });
    }
    void tryEngine(const QString& engine, const QString& from, const QString& to, const QString& text,
        const QMap<QString, QString>& fields, TryDone done) override
    {
        tries.append({engine, from, to, text, fields});
        later([this, done] { done(outcome); });
    }
    void reload(ReloadDone done) override
    {
        ++reloads;
        later([this, done] { done(refusal); });
    }

private:
    void later(std::function<void()> answer) { QTimer::singleShot(0, this, std::move(answer)); }
};
