#pragma once

#include "EngineRouter.h"
#include "ServiceConfig.h"
#include "apertium/ApertiumEngine.h"
#include "http/ReplyEncoding.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace service {

class GuardedEngine;
class HttpEngine;
class Phrasebook;
class PhrasebookEngine;

/// The engines a configuration names, made and put behind one router in its order.
class EngineSetup
{
public:
    /// apertium: an engine to share with other setups (its pipelines stay warm across them); made here when null.
    EngineSetup(const ServiceConfig& config, const ApertiumEngine::Options& apertiumOptions,
        std::shared_ptr<ApertiumEngine> apertium = {});
    ~EngineSetup();

    /// What the settings dialog shows of an engine id.
    struct Kind {
        QString name; ///< "MyMemory"
        bool online = false;
        QStringList fields; ///< the section's keys the dialog edits
    };
    static Kind kind(const QString& id);

    EngineRouter& router() { return *m_router; }
    /// What the HTTP layer asks: the phrasebook in front of the router when it is on, else the router.
    Engine& front();
    /// Null when the phrasebook is off.
    const Phrasebook* phrasebook() const;
    /// Null when Apertium is not used (not in the order, or no pair installed).
    ApertiumEngine* apertium() const { return m_apertium; }
    /// The Apertium engine made or shared here, used or not.
    const std::shared_ptr<ApertiumEngine>& sharedApertium() const { return m_sharedApertium; }
    /// The engine behind a route id, as a reply names it; an empty id when no route has it.
    ReplyEncoding::EngineTag tag(const QString& id) const;
    bool isEmpty() const { return m_router->routes().isEmpty() && !m_phrasebook; }
    /// For the log: engines left out here and why.
    const QStringList& notes() const { return m_notes; }
    /// One line: the engines in the order tried, with where they are.
    QString summary() const;

    /// What --list-pairs prints: every pair and the engines that serve it, in the order tried. Meant for after
    /// router().queryLanguages() has finished.
    QString pairsListing() const;

private:
    std::vector<std::unique_ptr<Engine>> m_engines;
    std::shared_ptr<ApertiumEngine> m_sharedApertium;
    QList<HttpEngine*> m_http; ///< per route; null for Apertium
    ApertiumEngine* m_apertium = nullptr;
    std::unique_ptr<EngineRouter> m_router;
    std::vector<std::unique_ptr<GuardedEngine>> m_guards;
    std::unique_ptr<PhrasebookEngine> m_phrasebook;
    QStringList m_notes;
    QString m_configHint;
};

} // namespace service
