#include "engines/HttpEngine.h"

#include "Interest.h"
#include "LanguageNames.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslError>

#include <algorithm>
#include <memory>

namespace service {

namespace {

// A languages query that failed is asked again on a later text, but not more often than this.
constexpr qint64 kLanguagesRetryMs = 5 * 60 * 1000;
// A list that answered is read again after this long, so that a service left running learns of new languages.
constexpr qint64 kLanguagesRefreshMs = 24 * 60 * 60 * 1000;
constexpr int kTooManyRequestsRestMs = 30 * 1000;
constexpr int kQuotaRestMs = 10 * 60 * 1000;
constexpr qsizetype kMaxProviderMessage = 200;
// A translation answer is a few kilobytes; a provider that sends more is not read on.
constexpr qint64 kMaxReplyBytes = 1024 * 1024;
// The longest rest a provider may ask for (Retry-After); more is taken as this.
constexpr qint64 kMaxRestSeconds = 24 * 60 * 60;

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 3) + QStringLiteral(" s");
}

QString lowerFirst(QString text)
{
    if (text.size() > 1 && text[0].isUpper() && !text[1].isUpper())
        text[0] = text[0].toLower();
    return text;
}

// Provider texts go into one-line replies and logs.
QString oneLine(QString text)
{
    text = text.simplified();
    if (text.size() > kMaxProviderMessage)
        text = text.left(kMaxProviderMessage - 1) + QChar(0x2026);
    return text;
}

} // namespace

void HttpEngine::Languages::add(const QString& code, bool source, bool target)
{
    const QString lower = code.trimmed().toLower();
    if (lower.isEmpty())
        return;
    spelling.insert(lower, code.trimmed());
    if (source)
        sources.insert(lower);
    if (target)
        targets.insert(lower);
}

HttpEngine::HttpEngine(QString id, QString name, HttpEngineOptions options, QObject* parent)
    : QObject(parent)
    , m_id(std::move(id))
    , m_name(std::move(name))
    , m_options(std::move(options))
{
    // A redirect would carry the key to wherever it points.
    m_network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

HttpEngine::~HttpEngine()
{
    // Replies still running are deleted with the network manager; none may call back into a half-destroyed engine.
    for (QNetworkReply* reply : m_network.findChildren<QNetworkReply*>())
        reply->disconnect(this);
}

QString HttpEngine::location() const
{
    return m_options.baseUrl.toDisplayString(
        QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::StripTrailingSlash);
}

QString HttpEngine::provider() const
{
    const QUrl& url = m_options.baseUrl;
    const QString host = url.port() > 0 ? QStringLiteral("%1:%2").arg(url.host()).arg(url.port()) : url.host();
    return providerName() + QStringLiteral(", ") + host;
}

void HttpEngine::translate(const QString& text, const QString& source, const QString& target, Callback done)
{
    if (hasLanguagesQuery() && !m_querying
        && (!m_sinceQuery.isValid()
            || m_sinceQuery.elapsed() > (m_languages ? kLanguagesRefreshMs : kLanguagesRetryMs)))
        refreshLanguages();
    if (text.trimmed().isEmpty()) {
        QMetaObject::invokeMethod(
            this, [text, done = std::move(done)] { done(TranslationResult::ok(text)); }, Qt::QueuedConnection);
        return;
    }
    // Nothing a provider sends back carries the key on, not even an echo of the request in a translation.
    request(text, source, target, [this, done = std::move(done)](TranslationResult result) {
        result.text = scrub(result.text);
        result.error = scrub(result.error);
        done(result);
    });
}

void HttpEngine::translateMarked(const QString& text, const QString& source, const QString& target, Callback done)
{
    // request() builds its body before translate() returns.
    m_marked = true;
    translate(text, source, target, std::move(done));
    m_marked = false;
}

void HttpEngine::queryLanguages(std::function<void()> done)
{
    if (!hasLanguagesQuery()) {
        m_languagesProblem = QStringLiteral("it has no languages list");
        if (done)
            done();
        return;
    }
    if (m_languages) {
        if (done)
            done();
        return;
    }
    if (done)
        m_languageWaiters.append(std::move(done));
    refreshLanguages();
}

void HttpEngine::refreshLanguages()
{
    if (m_querying)
        return;
    m_querying = true;
    m_sinceQuery.start();
    fetchLanguages([this](std::optional<Languages> languages, const QString& problem) {
        m_querying = false;
        if (languages && !(languages->sources.isEmpty() && languages->targets.isEmpty())) {
            m_languages = std::move(languages);
            m_languagesProblem.clear();
        } else if (!m_languages) {
            m_languagesProblem = problem.isEmpty() ? QStringLiteral("its languages query answered no language")
                                                   : QStringLiteral("languages query failed: ") + problem;
        }
        const auto waiters = std::exchange(m_languageWaiters, {});
        for (const auto& waiter : waiters)
            waiter();
    });
}

const QSet<QString>& HttpEngine::targetsFor(const QString& providerSource) const
{
    const auto it = m_languages->targetsBySource.constFind(providerSource.toLower());
    return it == m_languages->targetsBySource.constEnd() ? m_languages->targets : *it;
}

PairSupport HttpEngine::supports(const QString& source, const QString& target) const
{
    if (!m_languages)
        return PairSupport::Unknown;
    const QStringList targets = targetCandidates(target);
    if (LanguageNames::isAuto(source)) {
        for (const QString& t : targets) {
            if (m_languages->targets.contains(t.toLower()))
                return PairSupport::Yes;
        }
        return PairSupport::No;
    }
    for (const QString& s : sourceCandidates(source)) {
        if (!m_languages->sources.contains(s.toLower()))
            continue;
        const QSet<QString>& reachable = targetsFor(s);
        for (const QString& t : targets) {
            if (reachable.contains(t.toLower()))
                return PairSupport::Yes;
        }
    }
    return PairSupport::No;
}

QStringList HttpEngine::pairs() const
{
    QStringList result;
    if (!m_languages)
        return result;
    for (const QString& from : LanguageNames::clientCodes()) {
        for (const QString& to : LanguageNames::clientCodes()) {
            if (from != to && supports(from, to) == PairSupport::Yes)
                result.append(from + u'|' + to);
        }
    }
    return result;
}

QString HttpEngine::sourceCode(const QString& clientCode) const
{
    const QStringList candidates = sourceCandidates(clientCode);
    if (candidates.isEmpty())
        return clientCode;
    if (m_languages) {
        for (const QString& c : candidates) {
            if (m_languages->sources.contains(c.toLower()))
                return m_languages->spelling.value(c.toLower(), c);
        }
    }
    return candidates.first();
}

QString HttpEngine::targetCode(const QString& clientCode, const QString& providerSource) const
{
    const QStringList candidates = targetCandidates(clientCode);
    if (candidates.isEmpty())
        return clientCode;
    if (m_languages) {
        const QSet<QString>& reachable = providerSource.isEmpty() ? m_languages->targets : targetsFor(providerSource);
        for (const QString& c : candidates) {
            if (reachable.contains(c.toLower()))
                return m_languages->spelling.value(c.toLower(), c);
        }
    }
    return candidates.first();
}

QString HttpEngine::clientCode(const QString& providerCode) const
{
    if (providerCode.isEmpty())
        return {};
    for (const QString& code : LanguageNames::clientCodes()) {
        if (sourceCandidates(code).contains(providerCode, Qt::CaseInsensitive)
            || targetCandidates(code).contains(providerCode, Qt::CaseInsensitive))
            return code;
    }
    return providerCode.toLower();
}

void HttpEngine::get(const QString& path, const QUrlQuery& query, AnswerHandler done)
{
    send("GET", path, query, {}, std::move(done));
}

void HttpEngine::post(const QString& path, const QUrlQuery& query, const QJsonObject& body, AnswerHandler done)
{
    send("POST", path, query, QJsonDocument(body).toJson(QJsonDocument::Compact), std::move(done));
}

void HttpEngine::send(
    const QByteArray& verb, const QString& path, const QUrlQuery& query, const QByteArray& body, AnswerHandler done)
{
    QUrl url = m_options.baseUrl;
    QString prefix = url.path();
    while (prefix.endsWith(u'/'))
        prefix.chop(1);
    url.setPath(prefix + path);
    if (!query.isEmpty())
        url.setQuery(query);

    QNetworkRequest request(url);
    request.setTransferTimeout(m_options.timeoutMs);
    const QString version = QCoreApplication::applicationVersion();
    request.setHeader(QNetworkRequest::UserAgentHeader,
        version.isEmpty() ? QStringLiteral("verbolt-service") : QStringLiteral("verbolt-service/") + version);
    request.setRawHeader("Accept", "application/json");
    if (verb == "POST")
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    if (!m_options.extraCaCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(m_options.extraCaCertificates);
        request.setSslConfiguration(tls);
    }
    addHeaders(request);

    QNetworkReply* reply = verb == "POST" ? m_network.post(request, body) : m_network.get(request);
    auto sslProblem = std::make_shared<QString>();
    // Why the answer was not read to its end: too large, or nobody waits for it any more.
    auto cutShort = std::make_shared<QString>();
    connect(reply, &QNetworkReply::downloadProgress, this,
        [this, reply, cutShort, interest = Interest::current()](qint64 received, qint64 total) {
            if (!cutShort->isEmpty())
                return;
            if (received > kMaxReplyBytes || total > kMaxReplyBytes)
                *cutShort = m_name + QStringLiteral(": the answer is larger than 1 MiB");
            else if (!interest.wanted())
                *cutShort = m_name + QStringLiteral(": nobody waits for the answer any more");
            else
                return;
            reply->abort();
        });
    connect(reply, &QNetworkReply::sslErrors, this, [sslProblem](const QList<QSslError>& errors) {
        if (!errors.isEmpty())
            *sslProblem = errors.first().errorString();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, sslProblem, cutShort, done = std::move(done)] {
        reply->deleteLater();
        Answer answer;
        if (!cutShort->isEmpty()) {
            answer.failure = *cutShort;
            return done(answer);
        }
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->isOpen())
            answer.body = reply->readAll();
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(answer.body, &error);
        if (error.error == QJsonParseError::NoError) {
            answer.json = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
        }
        bool ok = false;
        const qint64 retryAfter = reply->rawHeader("Retry-After").trimmed().toLongLong(&ok);
        if (ok && retryAfter >= 0)
            answer.retryAfterMs = int(std::min(retryAfter, kMaxRestSeconds) * 1000);
        if (answer.status == 0)
            answer.failure = networkFailure(reply->error(), reply->errorString(), *sslProblem);
        done(answer);
    });
}

QString HttpEngine::networkFailure(int error, const QString& errorString, const QString& sslProblem) const
{
    const QString where = m_name + QStringLiteral(" at ") + location();
    switch (static_cast<QNetworkReply::NetworkError>(error)) {
    case QNetworkReply::ConnectionRefusedError: return where + QStringLiteral(" unreachable: connection refused");
    case QNetworkReply::HostNotFoundError: return where + QStringLiteral(" unreachable: host not found");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return m_name + QStringLiteral(": no answer within ") + seconds(m_options.timeoutMs);
    case QNetworkReply::RemoteHostClosedError:
        return where + QStringLiteral(": the connection closed before an answer");
    case QNetworkReply::SslHandshakeFailedError:
        if (!sslProblem.isEmpty())
            return where + QStringLiteral(": certificate refused: ") + scrub(sslProblem);
        return where + QStringLiteral(": TLS handshake failed: ") + scrub(errorString);
    default: return where + QStringLiteral(" unreachable: ") + lowerFirst(scrub(errorString));
    }
}

TranslationResult HttpEngine::keyRefused(int status, const QString& providerMessage) const
{
    const QString message = oneLine(scrub(providerMessage));
    return TranslationResult::refused(TranslationResult::Status::Failed,
        QStringLiteral("%1: key refused (%2%3): check key= in [%4] or VERBOLT_%5_KEY")
            .arg(m_name, QString::number(status), message.isEmpty() ? QString() : QStringLiteral(": ") + message, m_id,
                m_id.toUpper()));
}

TranslationResult HttpEngine::tooManyRequests(const Answer& answer, const QString& providerMessage, int restMs) const
{
    const QString message = oneLine(scrub(providerMessage));
    TranslationResult result = TranslationResult::refused(TranslationResult::Status::Failed,
        QStringLiteral("%1: too many requests (%2%3)")
            .arg(m_name, QString::number(answer.status),
                message.isEmpty() ? QString() : QStringLiteral(": ") + message));
    result.restMs = answer.retryAfterMs > 0 ? answer.retryAfterMs : restMs;
    return result;
}

TranslationResult HttpEngine::quotaExceeded(const Answer& answer) const
{
    TranslationResult result = TranslationResult::refused(TranslationResult::Status::Failed,
        QStringLiteral("%1: quota exceeded (%2)").arg(m_name, QString::number(answer.status)));
    result.restMs = answer.retryAfterMs > 0 ? answer.retryAfterMs : kQuotaRestMs;
    return result;
}

TranslationResult HttpEngine::unexpected(const QString& what) const
{
    return TranslationResult::refused(
        TranslationResult::Status::Failed, QStringLiteral("%1: unexpected answer (%2)").arg(m_name, what));
}

TranslationResult HttpEngine::refusal(const Answer& answer, const QString& providerMessage) const
{
    using Status = TranslationResult::Status;
    if (answer.status == 0)
        return TranslationResult::refused(Status::Failed, answer.failure);
    const QString message = oneLine(scrub(providerMessage));
    const QString detail = message.isEmpty() ? QString() : QStringLiteral(": ") + message;
    const int status = answer.status;
    if (status == 401 || status == 403)
        return keyRefused(status, message);
    if (status == 456)
        return quotaExceeded(answer);
    // 529: DeepL's "too many requests" under high load.
    if (status == 429 || status == 529)
        return tooManyRequests(answer, message, kTooManyRequestsRestMs);
    if (status == 413)
        return TranslationResult::refused(Status::TooLong, QStringLiteral("%1: text too long (413)").arg(m_name));
    if (status == 400) {
        return TranslationResult::refused(Status::UnknownPair,
            message.isEmpty() ? QStringLiteral("%1: refused the request (400)").arg(m_name)
                              : m_name + QStringLiteral(": ") + message);
    }
    if (status >= 500)
        return TranslationResult::refused(
            Status::Failed, QStringLiteral("%1: server error (%2%3)").arg(m_name, QString::number(status), detail));
    if ((status >= 300 && status < 400) || status == 404 || status == 405) {
        return TranslationResult::refused(Status::Failed,
            QStringLiteral("%1 at %2 answered %3%4: check url= in [%5]")
                .arg(m_name, location(), QString::number(status), detail, m_id));
    }
    return TranslationResult::refused(
        Status::Failed, QStringLiteral("%1 answered %2%3").arg(m_name, QString::number(status), detail));
}

QString HttpEngine::scrub(QString text) const
{
    const QString& key = m_options.key;
    if (key.isEmpty())
        return text;
    const QString hidden = QStringLiteral("(key)");
    text.replace(key, hidden);
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(key));
    if (encoded != key)
        text.replace(encoded, hidden, Qt::CaseInsensitive);
    return text;
}

} // namespace service
