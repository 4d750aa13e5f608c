#pragma once

#include "Engine.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QSslCertificate>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <optional>

class QNetworkRequest;

namespace service {

/// Where and how an engine reaches its provider.
struct HttpEngineOptions {
    /// The service's base address: scheme, host, port, optional path prefix. The engine appends its own path.
    QUrl baseUrl;
    /// The provider's key; empty when it needs none.
    QString key;
    /// Time limit of one call.
    int timeoutMs = 10000;
    /// Certificates trusted for this engine besides the system's store (PEM), e.g. a private CA.
    QList<QSslCertificate> extraCaCertificates;
};

/// An engine that calls a provider over HTTP(S) with JSON. It brings what they all share: the system's
/// certificate store, a time limit per call, refusals in words a user can act on (never holding the key), and the
/// languages the provider's own languages query named. Until that query has answered, every pair is tried.
class HttpEngine : public QObject, public Engine
{
    Q_OBJECT
public:
    ~HttpEngine() override;

    void translate(const QString& text, const QString& source, const QString& target, Callback done) final;
    void translateMarked(const QString& text, const QString& source, const QString& target, Callback done) final;
    QStringList pairs() const override;
    PairSupport supports(const QString& source, const QString& target) const override;
    void queryLanguages(std::function<void()> done) override;

    /// The name in messages: "DeepL", "LibreTranslate".
    QString name() const { return m_name; }
    /// The base address as shown to users (no user info, no query).
    QString location() const;
    /// Who a text goes to, and the host it goes to: "MyMemory (Translated), api.mymemory.translated.net".
    QString provider() const;
    bool languagesKnown() const { return m_languages.has_value(); }
    /// Why the languages are not known (the query failed, or the provider has none); empty otherwise.
    QString languagesProblem() const { return m_languagesProblem; }

protected:
    /// id: the configuration section ("deepl"), named in hints about the key.
    HttpEngine(QString id, QString name, HttpEngineOptions options, QObject* parent);

    /// One HTTP exchange as it ended.
    struct Answer {
        int status = 0; ///< 0 when no HTTP answer came
        QByteArray body;
        QJsonValue json; ///< the body parsed, or undefined
        QString failure; ///< without an HTTP answer: why, in words
        int retryAfterMs = -1; ///< from a Retry-After header
    };
    using AnswerHandler = std::function<void(const Answer&)>;

    /// The provider's codes, lower case: which sources and targets it named, and per source its targets where
    /// the provider lists them that way.
    struct Languages {
        QSet<QString> sources;
        QSet<QString> targets;
        QHash<QString, QSet<QString>> targetsBySource;
        QHash<QString, QString> spelling; ///< lower case -> as the provider writes it
        void add(const QString& code, bool source, bool target);
    };
    using LanguagesHandler = std::function<void(std::optional<Languages> languages, const QString& problem)>;

    /// Sends the translation request; done gets the result.
    virtual void request(const QString& text, const QString& source, const QString& target, Callback done) = 0;
    /// Whether the provider documents a languages query; without one the engine is tried for every pair.
    virtual bool hasLanguagesQuery() const { return true; }
    /// Runs the provider's languages query.
    virtual void fetchLanguages(LanguagesHandler done) = 0;
    /// The provider's codes for a client code, the best first.
    virtual QStringList sourceCandidates(const QString& clientCode) const = 0;
    virtual QStringList targetCandidates(const QString& clientCode) const = 0;
    /// The provider in words, for provider().
    virtual QString providerName() const { return m_name; }
    /// Whether the text of the request() being made is markup in keepForm() (else plain text).
    bool marked() const { return m_marked; }
    /// Headers every request carries besides Content-Type (authorisation).
    virtual void addHeaders(QNetworkRequest&) const { }

    void get(const QString& path, const QUrlQuery& query, AnswerHandler done);
    void post(const QString& path, const QUrlQuery& query, const QJsonObject& body, AnswerHandler done);

    /// The candidate the provider listed, or the first one while the list is not known.
    QString sourceCode(const QString& clientCode) const;
    QString targetCode(const QString& clientCode, const QString& providerSource = {}) const;
    /// The client's code for a code the provider returned (a detected language).
    QString clientCode(const QString& providerCode) const;

    /// The refusal for an answer that is not a translation: by its status unless the provider's own reasons
    /// were read already. providerMessage: the provider's error text, if any.
    TranslationResult refusal(const Answer& answer, const QString& providerMessage) const;
    /// providerMessage: the provider's own words (a refused key, a forbidden project and a banned address are
    /// different fixes).
    TranslationResult keyRefused(int status, const QString& providerMessage = {}) const;
    TranslationResult quotaExceeded(const Answer& answer) const;
    /// A rate limit (per minute, not per day): rests the engine for restMs unless the answer asks for a time.
    TranslationResult tooManyRequests(const Answer& answer, const QString& providerMessage, int restMs) const;
    TranslationResult unexpected(const QString& what) const;

    /// text without the key in any form.
    QString scrub(QString text) const;
    const HttpEngineOptions& options() const { return m_options; }
    QString id() const { return m_id; }

private:
    /// Runs the languages query unless one runs; a list already known stays until a new one answers.
    void refreshLanguages();
    void send(const QByteArray& verb, const QString& path, const QUrlQuery& query, const QByteArray& body,
        AnswerHandler done);
    QString networkFailure(int error, const QString& errorString, const QString& sslProblem) const;
    const QSet<QString>& targetsFor(const QString& providerSource) const;

    QString m_id;
    QString m_name;
    HttpEngineOptions m_options;
    QNetworkAccessManager m_network;
    std::optional<Languages> m_languages;
    QString m_languagesProblem;
    bool m_querying = false;
    QElapsedTimer m_sinceQuery;
    QList<std::function<void()>> m_languageWaiters;
    bool m_marked = false;
};

} // namespace service
