#pragma once

#include "Engine.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class ApertiumPipeline;

namespace service {

/// Translates with the Apertium language pairs installed on this machine. Each mode runs as one warm
/// null-flush pipeline; a pair without a mode of its own goes through Spanish when both halves exist; a source
/// of "auto" picks the language whose analyser leaves the fewest unknown words. Unknown words pass unmarked.
class ApertiumEngine : public QObject, public Engine
{
    Q_OBJECT
public:
    struct Options {
        QString modesDirectory = QStringLiteral("/usr/share/apertium/modes");
        /// The language a missing pair goes through (ISO 639-3).
        QString pivot = QStringLiteral("spa");
        int timeoutMs = 15000;
    };

    explicit ApertiumEngine(Options options, QObject* parent = nullptr);
    ~ApertiumEngine() override;

    void translate(const QString& text, const QString& source, const QString& target, Callback done) override;
    QStringList pairs() const override;

    /// The ISO 639-3 code Apertium uses for a client code ("en" -> "eng", "no" -> "nob"); empty when unknown.
    static QString apertiumCode(const QString& clientCode);
    /// The code the client uses for an Apertium language ("nob" -> "no").
    static QString clientCode(const QString& apertiumCode);

    /// The modes a translation from source to target runs through (Apertium codes); empty when none.
    QStringList route(const QString& source, const QString& target) const;

    /// Starts the pipelines of a route now instead of on its first text.
    bool preload(const QString& source, const QString& target);

    /// Picks the source language for text among those that can reach target; empty when none can.
    void detectSource(const QString& text, const QString& target, std::function<void(const QString&)> done);

private:
    ApertiumPipeline* pipeline(const QString& mode);
    ApertiumPipeline* analyser(const QString& language);
    void runRoute(const QString& text, QStringList modes, Callback done);

    Options m_options;
    /// "eng-spa" -> mode file
    QMap<QString, QString> m_modeFiles;
    QMap<QString, ApertiumPipeline*> m_pipelines;
    QMap<QString, ApertiumPipeline*> m_analysers;
};

} // namespace service
