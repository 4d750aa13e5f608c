#include "ServiceConfig.h"

#include "XdgPaths.h"
#include "phrasebook/Phrasebook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <memory>

namespace service {

namespace {

constexpr qint64 kMaxCaFileBytes = 4 * 1024 * 1024;

// A URL as a message may show it: any user name and password taken out.
QString withoutUserInfo(const QString& url)
{
    const qsizetype scheme = url.indexOf(QStringLiteral("://"));
    const qsizetype start = scheme < 0 ? 0 : scheme + 3;
    qsizetype end = url.size();
    for (const QChar stop : {u'/', u'?', u'#'}) {
        const qsizetype at = url.indexOf(stop, start);
        if (at >= 0)
            end = std::min(end, at);
    }
    const qsizetype at = url.lastIndexOf(u'@', end - 1);
    if (at < start)
        return url;
    return url.left(start) + QStringLiteral("(user)@") + url.mid(at + 1);
}

bool isLoopback(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

const QStringList kEngines = {QStringLiteral("phrasebook"), QStringLiteral("apertium"), QStringLiteral("mymemory"),
    QStringLiteral("deepl"), QStringLiteral("google"), QStringLiteral("libretranslate"), QStringLiteral("llm")};

// Engines that need nothing set up: on unless turned off.
const QStringList kKeyless = {QStringLiteral("phrasebook"), QStringLiteral("apertium"), QStringLiteral("mymemory")};

const QHash<QString, QStringList> kKeys = {
    {QStringLiteral("routing"), {QStringLiteral("order"), QStringLiteral("timeout"), QStringLiteral("cache")}},
    {QStringLiteral("phrasebook"), {QStringLiteral("enabled")}},
    {QStringLiteral("apertium"), {QStringLiteral("enabled"), QStringLiteral("timeout")}},
    {QStringLiteral("mymemory"),
        {QStringLiteral("enabled"), QStringLiteral("email"), QStringLiteral("url"), QStringLiteral("timeout"),
            QStringLiteral("cafile")}},
    {QStringLiteral("deepl"),
        {QStringLiteral("enabled"), QStringLiteral("key"), QStringLiteral("url"), QStringLiteral("timeout"),
            QStringLiteral("cafile")}},
    {QStringLiteral("google"),
        {QStringLiteral("enabled"), QStringLiteral("key"), QStringLiteral("url"), QStringLiteral("timeout"),
            QStringLiteral("cafile")}},
    {QStringLiteral("libretranslate"),
        {QStringLiteral("enabled"), QStringLiteral("url"), QStringLiteral("key"), QStringLiteral("timeout"),
            QStringLiteral("cafile")}},
    {QStringLiteral("llm"),
        {QStringLiteral("enabled"), QStringLiteral("url"), QStringLiteral("model"), QStringLiteral("key"),
            QStringLiteral("temperature"), QStringLiteral("timeout"), QStringLiteral("cafile")}},
};

QString envKeyName(const QString& id)
{
    return QStringLiteral("VERBOLT_%1_KEY").arg(id.toUpper());
}

/// Reads values, overrides first; an error sticks to the first value that cannot be right.
class Reader
{
public:
    Reader(QSettings* settings, QStringList sections, const QHash<QString, QString>& overrides)
        : m_settings(settings)
        , m_sections(std::move(sections))
        , m_overrides(overrides)
    { }

    bool hasSection(const QString& section) const
    {
        for (auto it = m_overrides.begin(); it != m_overrides.end(); ++it) {
            if (it.key().startsWith(section + u'/'))
                return true;
        }
        return m_sections.contains(section);
    }

    QString text(const QString& section, const QString& key) const
    {
        const QString path = section + u'/' + key;
        if (m_overrides.contains(path))
            return m_overrides.value(path).trimmed();
        if (!m_settings)
            return {};
        const QVariant value = m_settings->value(path);
        // An unquoted value with commas comes back as a list.
        if (value.typeId() == QMetaType::QStringList)
            return value.toStringList().join(u',').trimmed();
        return value.toString().trimmed();
    }

    int timeoutMs(const QString& section, int fallback)
    {
        const QString value = text(section, QStringLiteral("timeout"));
        if (value.isEmpty())
            return fallback;
        bool ok = false;
        const double seconds = value.toDouble(&ok);
        // No NaN, and nothing under a millisecond: every text would fail at once.
        if (!ok || !std::isfinite(seconds) || seconds < 0.001 || seconds > 3600) {
            fail(QStringLiteral("[%1] timeout= wants seconds from 0.001 to 3600, such as 10, not \"%2\"")
                     .arg(section, value));
            return fallback;
        }
        return int(std::lround(seconds * 1000));
    }

    QUrl url(const QString& section)
    {
        const QString value = text(section, QStringLiteral("url"));
        if (value.isEmpty())
            return {};
        const QUrl url(value, QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https") || url.host().isEmpty()
            || url.hasQuery()) {
            fail(QStringLiteral("[%1] url= wants an http:// or https:// address such as http://localhost:5000, not "
                                "\"%2\"")
                     .arg(section, withoutUserInfo(value)));
            return {};
        }
        // A key in clear text must not cross a network; this machine is fine (a test double, a local relay).
        if (url.scheme() == u"http" && (section == u"deepl" || section == u"google") && !isLoopback(url.host())) {
            fail(QStringLiteral("[%1] url= must be https:// (the key would travel in clear text), not \"%2\"")
                     .arg(section, withoutUserInfo(value)));
            return {};
        }
        return url;
    }

    bool enabled(const QString& section)
    {
        const QString value = text(section, QStringLiteral("enabled")).toLower();
        if (value.isEmpty() || value == u"yes" || value == u"true" || value == u"on" || value == u"1")
            return true;
        if (value == u"no" || value == u"false" || value == u"off" || value == u"0")
            return false;
        fail(QStringLiteral("[%1] enabled= wants yes or no, not \"%2\"").arg(section, value));
        return true;
    }

    std::optional<double> temperature(const QString& section)
    {
        const QString value = text(section, QStringLiteral("temperature"));
        if (value.isEmpty())
            return std::nullopt;
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok || number < 0 || number > 2) {
            fail(QStringLiteral("[%1] temperature= wants a number from 0 to 2, such as 0.2, not \"%2\"")
                     .arg(section, value));
            return std::nullopt;
        }
        return number;
    }

    QList<QSslCertificate> certificates(const QString& section, const QDir& base)
    {
        const QString value = text(section, QStringLiteral("cafile"));
        if (value.isEmpty())
            return {};
        const QString path = QDir::cleanPath(base.absoluteFilePath(value));
        // A device or a pipe would be read until memory runs out.
        const QFileInfo info(path);
        if (info.exists() && !info.isFile()) {
            fail(QStringLiteral("[%1] cafile=: %2 is not a regular file").arg(section, path));
            return {};
        }
        if (info.size() > kMaxCaFileBytes) {
            fail(QStringLiteral("[%1] cafile=: %2 is larger than %3 MiB; a CA file is a few hundred KiB")
                     .arg(section, path)
                     .arg(kMaxCaFileBytes / (1024 * 1024)));
            return {};
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("[%1] cafile=: cannot read %2: %3").arg(section, path, file.errorString()));
            return {};
        }
        const QByteArray pem = file.read(kMaxCaFileBytes + 1);
        if (pem.size() > kMaxCaFileBytes) {
            fail(
                QStringLiteral("[%1] cafile=: %2 is larger than %3 MiB").arg(section, path).arg(kMaxCaFileBytes >> 20));
            return {};
        }
        const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
        if (certificates.isEmpty())
            fail(QStringLiteral("[%1] cafile=: %2 holds no PEM certificate").arg(section, path));
        return certificates;
    }

    qsizetype bytes(const QString& section, const QString& key, qsizetype fallback)
    {
        const QString value = text(section, key);
        if (value.isEmpty())
            return fallback;
        static const QRegularExpression size(QStringLiteral("^(\\d+)\\s*([kKmMgG]?)[iI]?[bB]?$"));
        const auto match = size.match(value);
        bool ok = false;
        const qint64 number = match.captured(1).toLongLong(&ok);
        const QString unit = match.captured(2).toLower();
        const qint64 scale = unit == u"k" ? 1024 : unit == u"m" ? 1024 * 1024 : unit == u"g" ? 1024 * 1024 * 1024 : 1;
        if (!match.hasMatch() || !ok || number > (qint64(1) << 40) / scale) {
            fail(QStringLiteral("[%1] %2= wants a size such as 8M, not \"%3\"").arg(section, key, value));
            return fallback;
        }
        return number * scale;
    }

    void fail(const QString& error)
    {
        if (m_error.isEmpty())
            m_error = error;
    }
    const QString& error() const { return m_error; }

private:
    QSettings* m_settings;
    QStringList m_sections;
    const QHash<QString, QString>& m_overrides;
    QString m_error;
};

} // namespace

const QStringList& ServiceConfig::engineIds()
{
    return kEngines;
}

QString ServiceConfig::defaultPath(const QProcessEnvironment& env)
{
    return XdgPaths::configHome(env) + QStringLiteral("/verbolt-service.conf");
}

std::optional<ServiceConfig> ServiceConfig::load(
    const QString& path, const QProcessEnvironment& env, QString* error, const QHash<QString, QString>& overrides)
{
    ServiceConfig config;
    config.path = path.isEmpty() ? defaultPath(env) : QFileInfo(path).absoluteFilePath();
    const QString home = XdgPaths::home(env);
    config.shownPath = !home.isEmpty() && config.path.startsWith(home + u'/')
        ? QStringLiteral("~") + config.path.mid(home.size())
        : config.path;
    const auto failWith = [&](const QString& message) {
        if (error)
            *error = message;
        return std::nullopt;
    };

    std::unique_ptr<QSettings> settings;
    QStringList sections;
    if (QFileInfo::exists(config.path) || !path.isEmpty()) {
        QFile file(config.path);
        if (!file.open(QIODevice::ReadOnly))
            return failWith(QStringLiteral("cannot read %1: %2").arg(config.path, file.errorString()));
        // QSettings does not list a section without keys; an empty [deepl] still deserves its note.
        static const QRegularExpression header(
            QStringLiteral("^\\s*\\[([^\\]]+)\\]"), QRegularExpression::MultilineOption);
        for (auto it = header.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();)
            sections.append(it.next().captured(1).trimmed());
        file.close();
        settings = std::make_unique<QSettings>(config.path, QSettings::IniFormat);
        if (settings->status() != QSettings::NoError)
            return failWith(QStringLiteral("cannot read %1: not an INI file").arg(config.path));
        config.fileFound = true;
        if (file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)) {
            config.notes.append(
                QStringLiteral("warning: %1 can be read by other users and may hold API keys; chmod 600 %1")
                    .arg(config.path));
        }
        sections.append(settings->childGroups());
        sections.removeDuplicates();
        for (const QString& group : settings->childGroups()) {
            if (!kKeys.contains(group)) {
                config.notes.append(QStringLiteral("unknown section [%1] in %2 ignored").arg(group, config.path));
                continue;
            }
            settings->beginGroup(group);
            for (const QString& key : settings->childKeys()) {
                if (!kKeys.value(group).contains(key))
                    config.notes.append(QStringLiteral("unknown key %1= in [%2] ignored").arg(key, group));
            }
            settings->endGroup();
        }
        for (const QString& key : settings->childKeys())
            config.notes.append(QStringLiteral("key %1= outside any section ignored").arg(key));
    }

    config.phrasebookFiles = Phrasebook::files(Phrasebook::shippedFile(), XdgPaths::dataHome(env));

    Reader read(settings.get(), sections, overrides);
    const QString routing = QStringLiteral("routing");
    const int timeoutMs = read.timeoutMs(routing, 10000);
    config.cacheBytes = read.bytes(routing, QStringLiteral("cache"), config.cacheBytes);
    const QDir base = QFileInfo(config.path).absoluteDir();

    // Every engine that has what it needs, in the default order.
    QList<EngineSettings> configured;
    QHash<QString, bool> mentioned;
    QHash<QString, EngineState> states;
    for (const QString& id : kEngines) {
        EngineSettings engine;
        engine.id = id;
        const QString envKey = env.value(envKeyName(id)).trimmed();
        const bool keyless = kKeyless.contains(id);
        mentioned[id] = read.hasSection(id) || (!envKey.isEmpty() && !keyless);
        EngineState& state = states[id];
        state.id = id;
        state.enabled = read.enabled(id);
        engine.timeoutMs = read.timeoutMs(id, timeoutMs);
        // A key given for this run (a try) wins over the environment's.
        const QString keyPath = id + QStringLiteral("/key");
        engine.key = overrides.contains(keyPath) || envKey.isEmpty() ? read.text(id, QStringLiteral("key")) : envKey;
        engine.url = read.url(id);
        engine.model = read.text(id, QStringLiteral("model"));
        engine.email = read.text(id, QStringLiteral("email"));
        engine.temperature = read.temperature(id);
        engine.caCertificates = read.certificates(id, base);
        QStringList missing;
        if ((id == u"deepl" || id == u"google") && engine.key.isEmpty())
            missing.append(QStringLiteral("no key= (nor %1)").arg(envKeyName(id)));
        if ((id == u"libretranslate" || id == u"llm") && engine.url.isEmpty())
            missing.append(QStringLiteral("no url="));
        if (id == u"llm" && engine.model.isEmpty())
            missing.append(QStringLiteral("no model="));
        state.ready = missing.isEmpty();
        state.why = missing.join(QStringLiteral(", "));
        if (!state.enabled || (!keyless && !mentioned[id]))
            continue;
        if (!missing.isEmpty()) {
            config.notes.append(QStringLiteral("[%1] left out: %2").arg(id, state.why));
            continue;
        }
        configured.append(engine);
    }
    if (!read.error().isEmpty())
        return failWith(QStringLiteral("%1: %2").arg(config.path, read.error()));
    QStringList ids;
    const auto finish = [&] {
        for (const EngineSettings& engine : std::as_const(config.engines))
            config.states.append(states.value(engine.id));
        for (const QString& id : kEngines) {
            if (std::none_of(config.engines.begin(), config.engines.end(),
                    [&](const EngineSettings& e) { return e.id == id; })) {
                // Not in use: turned off, left out of order=, a section never written, or not ready.
                EngineState state = states.value(id);
                state.enabled
                    = state.enabled && (kKeyless.contains(id) || mentioned[id]) && (ids.isEmpty() || ids.contains(id));
                config.states.append(state);
            }
        }
        return config;
    };

    const QString order = read.text(routing, QStringLiteral("order"));
    if (order.isEmpty()) {
        config.engines = configured;
        return finish();
    }
    for (const QString& part : order.split(u',', Qt::SkipEmptyParts)) {
        const QString id = part.trimmed().toLower();
        if (!kEngines.contains(id)) {
            return failWith(QStringLiteral("%1: [routing] order= names \"%2\", which is not one of %3")
                                .arg(config.path, part.trimmed(), kEngines.join(QStringLiteral(", "))));
        }
        if (!ids.contains(id))
            ids.append(id);
    }
    for (const QString& id : std::as_const(ids)) {
        const auto it
            = std::find_if(configured.begin(), configured.end(), [&](const EngineSettings& e) { return e.id == id; });
        if (it != configured.end())
            config.engines.append(*it);
        else if (!mentioned[id])
            config.notes.append(
                QStringLiteral("[routing] order= names %1, which has no [%1] section: left out").arg(id));
    }
    for (const EngineSettings& engine : std::as_const(configured)) {
        if (!ids.contains(engine.id) && mentioned[engine.id])
            config.notes.append(QStringLiteral("[%1] is set up but not in [routing] order=: not used").arg(engine.id));
    }
    return finish();
}

} // namespace service
