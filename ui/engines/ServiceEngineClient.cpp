#include "ServiceEngineClient.h"

#include "DecodeHtml.h"
#include "PageFetcher.h"
#include "modGoogleTranslate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QUrlQuery>

#include <utility>

namespace {

QString pageFailure(const PageResult& page, const QString& host)
{
    switch (page.failure) {
    case PageResult::Failure::None: break;
    case PageResult::Failure::Refused: return QObject::tr("the translation service at %1 is not running").arg(host);
    case PageResult::Failure::HostNotFound:
        return QObject::tr("the translation service's address %1 is not known").arg(host);
    case PageResult::Failure::TimedOut: return QObject::tr("no answer within %1 s").arg(page.seconds);
    case PageResult::Failure::TooLarge: return QObject::tr("the service's answer is too large");
    case PageResult::Failure::Other:
        return QObject::tr("the translation service at %1 could not be reached: %2").arg(host, page.detail);
    }
    return {};
}

// An answer that is no JSON object: an older service, or another program on that address.
QString notUnderstood(const QString& host)
{
    return QObject::tr("the translation service at %1 does not offer its engine settings (an older version?)")
        .arg(host);
}

QStringList strings(const QJsonValue& value)
{
    QStringList list;
    for (const QJsonValue& item : value.toArray())
        list.append(item.toString());
    return list;
}

EnginesReport readReport(const PageResult& page, const QString& host)
{
    EnginesReport report;
    if (page.failure != PageResult::Failure::None) {
        report.failure = pageFailure(page, host);
        return report;
    }
    const QJsonObject root = QJsonDocument::fromJson(page.body.toUtf8()).object();
    if (!root.contains(QStringLiteral("engines"))) {
        const QString reason = modGoogleTranslate::ReplyFailureReason(page.body);
        report.failure = reason.isEmpty() ? notUnderstood(host) : reason;
        return report;
    }
    for (const QJsonValue& item : root.value(QStringLiteral("engines")).toArray()) {
        const QJsonObject engine = item.toObject();
        report.engines.append({engine.value(QStringLiteral("id")).toString(),
            engine.value(QStringLiteral("name")).toString(), engine.value(QStringLiteral("online")).toBool(),
            engine.value(QStringLiteral("enabled")).toBool(true), engine.value(QStringLiteral("ready")).toBool(),
            engine.value(QStringLiteral("why")).toString(), strings(engine.value(QStringLiteral("fields")))});
    }
    for (const QJsonValue& item : root.value(QStringLiteral("languages")).toArray()) {
        const QJsonObject language = item.toObject();
        report.languages.append({language.value(QStringLiteral("code")).toString(),
            language.value(QStringLiteral("name")).toString(), strings(language.value(QStringLiteral("engines")))});
    }
    return report;
}

} // namespace

ServiceEngineClient::ServiceEngineClient(PageFetcher* fetcher, net::ServiceAddress address)
    : m_fetcher(fetcher)
    , m_address(std::move(address))
    , m_serviceHost(m_address.toString())
{ }

ServiceEngineClient::~ServiceEngineClient() = default;

QString ServiceEngineClient::url(const QString& path) const
{
    return m_address.baseUrl() + QStringLiteral("/verbolt/") + path;
}

void ServiceEngineClient::engines(const QString& lang, ReportDone done)
{
    const std::weak_ptr<bool> alive = m_alive;
    const QString host = m_serviceHost;
    m_fetcher->fetch(url(QStringLiteral("engines?lang=")) + QString::fromLatin1(QUrl::toPercentEncoding(lang)),
        [alive, host, done = std::move(done)](const PageResult& page) {
            if (!alive.expired())
                done(readReport(page, host));
        });
}

void ServiceEngineClient::tryEngine(const QString& engine, const QString& from, const QString& to, const QString& text,
    const QMap<QString, QString>& fields, TryDone done)
{
    QUrlQuery form;
    const auto add = [&form](const QString& name, const QString& value) {
        // Every byte that could end or split a field is escaped, "+" and "&" included.
        form.addQueryItem(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    };
    add(QStringLiteral("engine"), engine);
    add(QStringLiteral("langpair"), from + u'|' + to);
    add(QStringLiteral("q"), text);
    for (auto it = fields.begin(); it != fields.end(); ++it)
        add(it.key(), it.value());
    const std::weak_ptr<bool> alive = m_alive;
    const QString host = m_serviceHost;
    m_fetcher->post(url(QStringLiteral("try")), form.query(QUrl::FullyEncoded).toLatin1(),
        [alive, host, done = std::move(done)](const PageResult& page) {
            if (alive.expired())
                return;
            if (page.failure != PageResult::Failure::None)
                return done({false, {}, pageFailure(page, host)});
            QString result = modGoogleTranslate::CutTranslation(page.body);
            if (result != u"error")
                return done({true, modGoogleTranslate::DecodeHtml(result), {}});
            const QString reason = modGoogleTranslate::ReplyFailureReason(page.body);
            done({false, {}, reason.isEmpty() ? notUnderstood(host) : reason});
        });
}

void ServiceEngineClient::reload(ReloadDone done)
{
    const std::weak_ptr<bool> alive = m_alive;
    const QString host = m_serviceHost;
    m_fetcher->post(url(QStringLiteral("reload")), {}, [alive, host, done = std::move(done)](const PageResult& page) {
        if (alive.expired())
            return;
        if (page.failure != PageResult::Failure::None)
            return done(pageFailure(page, host));
        const QJsonObject root = QJsonDocument::fromJson(page.body.toUtf8()).object();
        if (root.value(QStringLiteral("ok")).toBool(false))
            return done({});
        const QString reason = root.value(QStringLiteral("reason")).toString();
        done(reason.isEmpty() ? notUnderstood(host) : reason);
    });
}
