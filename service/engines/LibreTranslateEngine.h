#pragma once

#include "engines/HttpEngine.h"

namespace service {

/// A LibreTranslate server: POST /translate with the key (if any) as api_key, languages from GET /languages.
class LibreTranslateEngine : public HttpEngine
{
    Q_OBJECT
public:
    /// options.baseUrl: where the server's API lives, e.g. http://127.0.0.1:5000.
    explicit LibreTranslateEngine(HttpEngineOptions options, QObject* parent = nullptr);
    LibreTranslateEngine(QUrl baseUrl, QString apiKey, int timeoutMs = 10000, QObject* parent = nullptr);
    /// Sent with format=html; translate="no" spans stay as they are.
    KeepForm keepForm() const override { return KeepForm::HtmlNoTranslate; }

protected:
    void request(const QString& text, const QString& source, const QString& target, Callback done) override;
    void fetchLanguages(LanguagesHandler done) override;
    QStringList sourceCandidates(const QString& clientCode) const override;
    QStringList targetCandidates(const QString& clientCode) const override { return sourceCandidates(clientCode); }

private:
    TranslationResult failure(const Answer& answer) const;
};

} // namespace service
