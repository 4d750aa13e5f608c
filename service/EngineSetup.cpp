#include "EngineSetup.h"

#include "LanguageNames.h"
#include "engines/DeepLEngine.h"
#include "engines/GoogleEngine.h"
#include "engines/LibreTranslateEngine.h"
#include "engines/LlmEngine.h"
#include "engines/MyMemoryEngine.h"

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
    for (const EngineSettings& settings : config.engines) {
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
    m_router = std::make_unique<EngineRouter>(routes, config.cacheBytes, m_configHint);
}

EngineSetup::~EngineSetup()
{
    // The router holds plain pointers to the engines.
    m_router.reset();
    m_engines.clear();
}

QString EngineSetup::summary() const
{
    QStringList parts;
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
    return text;
}

} // namespace service
