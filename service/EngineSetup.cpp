#include "EngineSetup.h"

#include "LanguageNames.h"
#include "engines/DeepLEngine.h"
#include "engines/GoogleEngine.h"
#include "engines/LibreTranslateEngine.h"
#include "engines/LlmEngine.h"
#include "engines/MyMemoryEngine.h"
#include "phrasebook/Phrasebook.h"
#include "phrasebook/PhrasebookEngine.h"
#include "text/GuardedEngine.h"

#include <QSet>

namespace service {

EngineSetup::Kind EngineSetup::kind(const QString& id)
{
    static const QHash<QString, Kind> kinds = {
        {QStringLiteral("phrasebook"), {QStringLiteral("Phrasebook"), false, {}}},
        {QStringLiteral("apertium"), {QStringLiteral("Apertium"), false, {}}},
        {QStringLiteral("mymemory"),
            {QStringLiteral("MyMemory"), true, {QStringLiteral("email"), QStringLiteral("url")}}},
        {QStringLiteral("deepl"), {QStringLiteral("DeepL"), true, {QStringLiteral("key"), QStringLiteral("url")}}},
        {QStringLiteral("google"), {QStringLiteral("Google"), true, {QStringLiteral("key"), QStringLiteral("url")}}},
        {QStringLiteral("libretranslate"),
            {QStringLiteral("LibreTranslate"), true, {QStringLiteral("url"), QStringLiteral("key")}}},
        {QStringLiteral("llm"),
            {QStringLiteral("Language model"), true,
                {QStringLiteral("url"), QStringLiteral("model"), QStringLiteral("key")}}},
    };
    return kinds.value(id, Kind{id, false, {}});
}

ReplyEncoding::EngineTag EngineSetup::tag(const QString& id) const
{
    if (id == u"phrasebook" && m_phrasebook)
        return {id, QStringLiteral("Phrasebook"), QStringLiteral("the QSO phrasebook on this machine"), false};
    const auto& routes = m_router->routes();
    for (qsizetype i = 0; i < routes.size(); ++i) {
        if (routes[i].id != id)
            continue;
        if (m_http[i])
            return {id, m_http[i]->name(), m_http[i]->provider(), true};
        return {id, routes[i].name, routes[i].name + QStringLiteral(" on this machine"), false};
    }
    return {};
}

EngineSetup::EngineSetup(const ServiceConfig& config, const ApertiumEngine::Options& apertiumOptions,
    std::shared_ptr<ApertiumEngine> apertium)
    : m_sharedApertium(std::move(apertium))
    , m_configHint(config.shownPath)
{
    QList<EngineRouter::Route> routes;
    bool phrasebook = false;
    for (const EngineSettings& settings : config.engines) {
        if (settings.id == u"phrasebook") {
            phrasebook = true;
            continue;
        }
        const HttpEngineOptions options{settings.url, settings.key, settings.timeoutMs, settings.caCertificates};
        std::unique_ptr<HttpEngine> http;
        if (settings.id == u"apertium") {
            if (!m_sharedApertium)
                m_sharedApertium = std::make_shared<ApertiumEngine>(apertiumOptions);
            if (m_sharedApertium->pairs().isEmpty()) {
                m_notes.append(
                    QStringLiteral("apertium left out: no language pairs in %1").arg(apertiumOptions.modesDirectory));
                continue;
            }
            m_apertium = m_sharedApertium.get();
            routes.append({settings.id, QStringLiteral("Apertium"), m_apertium, settings.timeoutMs});
            m_http.append(nullptr);
            continue;
        }
        if (settings.id == u"deepl")
            http = std::make_unique<DeepLEngine>(options);
        else if (settings.id == u"google")
            http = std::make_unique<GoogleEngine>(options);
        else if (settings.id == u"libretranslate")
            http = std::make_unique<LibreTranslateEngine>(options);
        else if (settings.id == u"llm")
            http = std::make_unique<LlmEngine>(options, settings.model, settings.temperature);
        else if (settings.id == u"mymemory")
            http = std::make_unique<MyMemoryEngine>(options, settings.email);
        else
            continue;
        routes.append({settings.id, http->name(), http.get(), settings.timeoutMs});
        m_http.append(http.get());
        m_engines.push_back(std::move(http));
    }
    // Every engine sees its text with the protected words in the form it keeps best.
    for (EngineRouter::Route& route : routes) {
        m_guards.push_back(std::make_unique<GuardedEngine>(*route.engine));
        route.engine = m_guards.back().get();
    }
    m_router = std::make_unique<EngineRouter>(routes, config.cacheBytes, m_configHint);
    if (!phrasebook)
        return;
    auto book = std::make_shared<Phrasebook>();
    for (const QString& file : config.phrasebookFiles) {
        QString error;
        if (!book->addFile(file, &error))
            m_notes.append(QStringLiteral("phrasebook %1 skipped: %2").arg(file, error));
    }
    m_phrasebook = std::make_unique<PhrasebookEngine>(book, routes.isEmpty() ? nullptr : m_router.get());
}

Engine& EngineSetup::front()
{
    if (m_phrasebook)
        return *m_phrasebook;
    return *m_router;
}

const Phrasebook* EngineSetup::phrasebook() const
{
    return m_phrasebook ? m_phrasebook->phrasebook() : nullptr;
}

EngineSetup::~EngineSetup()
{
    // The router holds plain pointers to the engines.
    m_phrasebook.reset();
    m_router.reset();
    // Each guard holds its engine.
    m_guards.clear();
    m_engines.clear();
}

QString EngineSetup::summary() const
{
    QStringList parts;
    if (const Phrasebook* book = phrasebook())
        parts.append(QStringLiteral("phrasebook (%1 phrases)").arg(book->size()));
    const auto& routes = m_router->routes();
    for (qsizetype i = 0; i < routes.size(); ++i) {
        parts.append(m_http[i]
                ? QStringLiteral("%1 (%2 at %3)").arg(routes[i].id, m_http[i]->name(), m_http[i]->location())
                : routes[i].id);
    }
    return parts.isEmpty() ? QStringLiteral("no engine") : parts.join(QStringLiteral(", "));
}

QString EngineSetup::pairsListing() const
{
    const auto& routes = m_router->routes();
    if (routes.isEmpty())
        return QStringLiteral("No engine here: install Apertium pairs or configure an engine in %1\n")
            .arg(m_configHint);

    QSet<QString> pairs;
    for (const QString& pair : m_router->pairs())
        pairs.insert(pair);
    QStringList unknown;
    for (qsizetype i = 0; i < routes.size(); ++i) {
        if (!m_http[i] || m_http[i]->languagesKnown())
            continue;
        unknown.append(
            QStringLiteral("  %1?  %2: it is tried for every pair").arg(routes[i].id, m_http[i]->languagesProblem()));
        for (const QString& from : LanguageNames::clientCodes()) {
            for (const QString& to : LanguageNames::clientCodes()) {
                if (from != to)
                    pairs.insert(from + u'|' + to);
            }
        }
    }
    QStringList sorted(pairs.begin(), pairs.end());
    sorted.sort();

    QString text = QStringLiteral("Pairs this machine translates, and the engines that serve them in the order they "
                                  "are tried:\n");
    for (const QString& pair : std::as_const(sorted)) {
        const QString from = pair.section(u'|', 0, 0);
        const QString to = pair.section(u'|', 1, 1);
        QStringList engines;
        for (const auto& route : routes) {
            const PairSupport support = route.engine->supports(from, to);
            if (support == PairSupport::Yes)
                engines.append(route.id);
            else if (support == PairSupport::Unknown)
                engines.append(route.id + u'?');
        }
        text += QStringLiteral("%1  %2 to %3: %4\n")
                    .arg(pair.leftJustified(11), LanguageNames::englishName(from), LanguageNames::englishName(to),
                        engines.join(QStringLiteral(", ")));
    }
    if (!unknown.isEmpty())
        text += QStringLiteral("Engines marked ? cannot tell their languages:\n") + unknown.join(u'\n') + u'\n';
    if (const Phrasebook* book = phrasebook()) {
        QStringList counts;
        const QMap<QString, int> perLanguage = book->countsPerLanguage();
        for (auto it = perLanguage.begin(); it != perLanguage.end(); ++it)
            counts.append(QStringLiteral("%1 %2").arg(it.key()).arg(it.value()));
        text += QStringLiteral("The phrasebook translates the QSO phrases it knows between its languages, before any "
                               "engine: %1 phrases; per language: %2\n")
                    .arg(book->size())
                    .arg(counts.isEmpty() ? QStringLiteral("none") : counts.join(QStringLiteral(", ")));
    }
    return text;
}

} // namespace service
