#include "EngineHost.h"

#include "LanguageNames.h"
#include "http/QueryString.h"
#include "phrasebook/Phrasebook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace service {

namespace {

QByteArray toJson(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

int statusOf(const TranslationResult& result)
{
    switch (result.status) {
    case TranslationResult::Status::Ok: return 200;
    case TranslationResult::Status::UnknownPair: return 400;
    case TranslationResult::Status::TooLong: return 413;
    case TranslationResult::Status::Failed: return 503;
    }
    return 503;
}

QString field(const QList<QPair<QString, QString>>& fields, const QString& name, bool* found = nullptr)
{
    for (const auto& [key, value] : fields) {
        if (key == name) {
            if (found)
                *found = true;
            return value;
        }
    }
    if (found)
        *found = false;
    return {};
}

} // namespace

EngineHost::EngineHost(
    Sources sources, const ServiceConfig& config, std::shared_ptr<EngineSetup> setup, QObject* parent)
    : QObject(parent)
    , m_sources(std::move(sources))
    , m_config(config)
    , m_current(std::move(setup))
    , m_apertium(m_current->sharedApertium())
{ }

EngineHost::~EngineHost() = default;

void EngineHost::log(const QString& line) const
{
    if (m_log)
        m_log(line);
}

void EngineHost::setLogSink(LogSink sink)
{
    m_log = std::move(sink);
    m_current->router().setLogSink(m_log);
}

void EngineHost::release(std::shared_ptr<EngineSetup> setup)
{
    QMetaObject::invokeMethod(
        this, [setup = std::move(setup)]() mutable { setup.reset(); }, Qt::QueuedConnection);
}

void EngineHost::translate(const QString& text, const QString& source, const QString& target, Callback done)
{
    // The setup stays while this text is under way, even when a reload has put another in its place.
    auto hold = std::make_shared<std::shared_ptr<EngineSetup>>(m_current);
    m_current->front().translate(
        text, source, target, [this, hold, done = std::move(done)](const TranslationResult& r) {
            done(r);
            release(std::exchange(*hold, {}));
        });
}

QStringList EngineHost::pairs() const
{
    return m_current->front().pairs();
}

PairSupport EngineHost::supports(const QString& source, const QString& target) const
{
    return m_current->front().supports(source, target);
}

void EngineHost::queryLanguages(std::function<void()> done)
{
    m_current->front().queryLanguages(std::move(done));
}

ReplyEncoding::EngineTag EngineHost::engineTag(const QString& id) const
{
    ReplyEncoding::EngineTag tag = m_current->tag(id);
    if (tag.id.isEmpty() && !id.isEmpty()) {
        // Answered by a setup a reload has replaced since.
        const EngineSetup::Kind kind = EngineSetup::kind(id);
        tag = {id, kind.name, kind.name, kind.online};
    }
    return tag;
}

std::optional<QString> EngineHost::reload()
{
    const auto refuse = [this](const QString& why) {
        log(QStringLiteral("settings not taken, the old ones stay: ") + why);
        return why;
    };
    QString error;
    const auto config = ServiceConfig::load(m_sources.configPath, m_sources.environment, &error, m_sources.overrides);
    if (!config)
        return refuse(error);
    auto setup = std::make_shared<EngineSetup>(*config, m_sources.apertium, m_apertium);
    if (setup->isEmpty())
        return refuse(
            QStringLiteral("%1: no engine is on: turn one on or install an Apertium pair").arg(config->shownPath));
    for (const QString& note : config->notes + setup->notes())
        log(note);
    log(QStringLiteral("settings read again; engines, in the order tried: ") + setup->summary());
    if (setup->sharedApertium())
        m_apertium = setup->sharedApertium();
    setup->router().setLogSink(m_log);
    setup->router().queryLanguages({});
    m_config = *config;
    release(std::exchange(m_current, std::move(setup)));
    return std::nullopt;
}

void EngineHost::handle(
    const QByteArray& method, const QByteArray& path, const QByteArray& query, const QByteArray& body, Reply done)
{
    const auto later = [this, done](int status, QByteArray reply) {
        QMetaObject::invokeMethod(
            this, [done, status, reply = std::move(reply)] { done(status, reply); }, Qt::QueuedConnection);
    };
    const auto wrongMethod = [&](const char* allowed) {
        later(405, ReplyEncoding::refusalReply(405, QStringLiteral("Method not allowed: use %1").arg(allowed)));
    };
    if (path == "/verbolt/engines") {
        if (method != "GET")
            return wrongMethod("GET");
        const auto fields = QueryString::parse(query);
        const QString lang = fields ? field(*fields, QStringLiteral("lang")) : QString();
        if (!lang.isEmpty() && !LanguageNames::clientCodes().contains(lang))
            return later(400, ReplyEncoding::refusalReply(400, QStringLiteral("Unknown language \"%1\"").arg(lang)));
        return later(200, listing(lang.isEmpty() ? QStringLiteral("en") : lang));
    }
    if (path == "/verbolt/try") {
        if (method != "POST")
            return wrongMethod("POST");
        return tryEngine(body, done);
    }
    if (path == "/verbolt/reload") {
        if (method != "POST")
            return wrongMethod("POST");
        if (const auto why = reload()) {
            return later(400, toJson({{QStringLiteral("ok"), false}, {QStringLiteral("reason"), *why}}));
        }
        return later(200, toJson({{QStringLiteral("ok"), true}}));
    }
    later(404, ReplyEncoding::refusalReply(404, QStringLiteral("Not found")));
}

QByteArray EngineHost::listing(const QString& lang) const
{
    const auto& routes = m_current->router().routes();
    QJsonArray engines;
    for (const EngineState& state : m_config.states) {
        const EngineSetup::Kind kind = EngineSetup::kind(state.id);
        const bool routed = (state.id == u"phrasebook" && m_current->phrasebook())
            || std::any_of(
                routes.begin(), routes.end(), [&](const EngineRouter::Route& r) { return r.id == state.id; });
        bool ready = state.ready;
        QString why = state.why;
        if (ready && state.enabled && !routed) {
            ready = false;
            why = QStringLiteral("not available here");
            for (const QString& note : m_current->notes()) {
                if (note.startsWith(state.id + u' '))
                    why = note.mid(note.indexOf(QLatin1String(": ")) + 2);
            }
        }
        engines.append(QJsonObject{{QStringLiteral("id"), state.id}, {QStringLiteral("name"), kind.name},
            {QStringLiteral("online"), kind.online}, {QStringLiteral("enabled"), state.enabled},
            {QStringLiteral("ready"), ready}, {QStringLiteral("why"), why},
            {QStringLiteral("fields"), QJsonArray::fromStringList(kind.fields)}});
    }
    QJsonArray languages;
    for (const QString& code : LanguageNames::clientCodes()) {
        QStringList serving;
        if (const Phrasebook* book = m_current->phrasebook(); book && code != lang && book->serves(lang, code))
            serving.append(QStringLiteral("phrasebook"));
        for (const EngineRouter::Route& route : routes) {
            if (code != lang && route.engine->supports(lang, code) != PairSupport::No
                && route.engine->supports(code, lang) != PairSupport::No)
                serving.append(route.id);
        }
        languages.append(
            QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("name"), LanguageNames::englishName(code)},
                {QStringLiteral("engines"), QJsonArray::fromStringList(serving)}});
    }
    return toJson({{QStringLiteral("engines"), engines}, {QStringLiteral("languages"), languages}});
}

QString EngineHost::keyForAddress(const QString& id, const QList<QPair<QString, QString>>& fields) const
{
    bool urlGiven = false;
    bool keyGiven = false;
    const QString url = field(fields, QStringLiteral("url"), &urlGiven).trimmed();
    field(fields, QStringLiteral("key"), &keyGiven);
    if (!urlGiven || keyGiven)
        return {};
    // The engine as set up now, key from the file or the environment included, whether or not it is ready.
    const auto stored = ServiceConfig::load(m_sources.configPath, m_sources.environment, nullptr, m_sources.overrides);
    if (!stored) // then which key would go is not known
        return QStringLiteral("url= names another address: a try there brings its own key (key=)");
    const auto state
        = std::find_if(stored->states.begin(), stored->states.end(), [&](const EngineState& s) { return s.id == id; });
    if (state == stored->states.end() || !state->hasKey)
        return {};
    // The same server is the same scheme, host and port; an empty address is the engine's own default.
    const auto origin = [](const QUrl& address) {
        return address.isEmpty() ? QString()
                                 : QStringLiteral("%1://%2:%3")
                                       .arg(address.scheme().toLower(), address.host().toLower())
                                       .arg(address.port(address.scheme().toLower() == u"https" ? 443 : 80));
    };
    const QUrl storedUrl = state->url;
    if (origin(QUrl(url, QUrl::StrictMode)) == origin(storedUrl))
        return {};
    return QStringLiteral("url= names another address than the one %1 is set up with: a try there brings its own "
                          "key (key=); the stored key goes only to %2")
        .arg(EngineSetup::kind(id).name,
            storedUrl.isEmpty() ? QStringLiteral("%1's own address").arg(EngineSetup::kind(id).name)
                                : storedUrl.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery));
}

void EngineHost::tryEngine(const QByteArray& form, Reply done)
{
    const auto answer = [this, done](int status, const QString& reason) {
        const QByteArray body = ReplyEncoding::refusalReply(status, reason);
        QMetaObject::invokeMethod(
            this, [done, status, body] { done(status, body); }, Qt::QueuedConnection);
    };
    const auto fields = QueryString::parse(form);
    if (!fields)
        return answer(400, QStringLiteral("Bad percent-encoding or text that is not UTF-8"));
    const QString id = field(*fields, QStringLiteral("engine")).trimmed().toLower();
    if (!ServiceConfig::engineIds().contains(id)) {
        return answer(
            400, QStringLiteral("engine= wants one of %1").arg(ServiceConfig::engineIds().join(QStringLiteral(", "))));
    }
    const QStringList codes = field(*fields, QStringLiteral("langpair")).split(u'|');
    bool hasText = false;
    const QString text = field(*fields, QStringLiteral("q"), &hasText);
    if (codes.size() != 2 || codes[0].isEmpty() || codes[1].isEmpty())
        return answer(400, QStringLiteral("langpair= wants two codes, such as en|de"));
    if (!hasText)
        return answer(400, QStringLiteral("Missing the text (q)"));
    // The caps of a translation: a try is no way around them.
    if (text.size() > m_maxTextChars)
        return answer(413, QStringLiteral("Text too long: at most %1 characters").arg(m_maxTextChars));

    // The running settings, with this engine alone and the fields given for this try.
    QHash<QString, QString> overrides = m_sources.overrides;
    overrides.insert(QStringLiteral("routing/order"), id);
    overrides.insert(id + QStringLiteral("/enabled"), QStringLiteral("yes"));
    for (const char* name : {"key", "url", "email", "model"}) {
        bool found = false;
        const QString value = field(*fields, QLatin1String(name), &found);
        if (found)
            overrides.insert(id + u'/' + QLatin1String(name), value);
    }
    const EngineSetup::Kind kind = EngineSetup::kind(id);
    if (const QString why = keyForAddress(id, *fields); !why.isEmpty())
        return answer(400, why);
    QString error;
    const auto config = ServiceConfig::load(m_sources.configPath, m_sources.environment, &error, overrides);
    if (!config)
        return answer(400, error);
    if (config->engines.isEmpty()) {
        const auto state = std::find_if(
            config->states.begin(), config->states.end(), [&](const EngineState& s) { return s.id == id; });
        return answer(400,
            QStringLiteral("%1 is not set up: %2")
                .arg(kind.name,
                    state != config->states.end() && !state->why.isEmpty() ? state->why
                                                                           : QStringLiteral("not available")));
    }
    auto setup = std::make_shared<EngineSetup>(*config, m_sources.apertium, m_apertium);
    if (setup->isEmpty()) {
        return answer(400,
            QStringLiteral("%1 is not available here%2")
                .arg(kind.name, setup->notes().isEmpty() ? QString() : QStringLiteral(": ") + setup->notes().first()));
    }
    // The engine alone: no router, no cache, no rest. The setup lives until it has answered (every engine answers
    // within its time limit).
    const auto& routes = setup->router().routes();
    Engine& engine = routes.isEmpty() ? setup->front() : *routes.first().engine;
    auto hold = std::make_shared<std::shared_ptr<EngineSetup>>(setup);
    QString engineText = text;
    engineText.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    engine.translate(engineText, codes[0], codes[1], [this, hold, id, done](const TranslationResult& result) {
        int status = statusOf(result);
        QString error = result.error;
        if (status == 200 && ReplyEncoding::encodeValue(result.text).size() > ReplyEncoding::kMaxValueLength) {
            status = 413;
            error = QStringLiteral("The translation is too long for the client");
        }
        done(status,
            status == 200 ? ReplyEncoding::translationReply(result.text, (*hold)->tag(id))
                          : ReplyEncoding::refusalReply(status, error));
        release(std::exchange(*hold, {}));
    });
}

} // namespace service
