#pragma once

#include "engines/HttpEngine.h"

namespace service {

/// Google Cloud Translation v2 (basic): POST /language/translate/v2?key=KEY, languages from
/// GET /language/translate/v2/languages.
class GoogleEngine : public HttpEngine
{
    Q_OBJECT
public:
    /// options.baseUrl may be empty: https://translation.googleapis.com.
    explicit GoogleEngine(HttpEngineOptions options, QObject* parent = nullptr);
    /// Sent with format=html; translate="no" spans stay as they are.
    KeepForm keepForm() const override { return KeepForm::HtmlNoTranslate; }

protected:
    void request(const QString& text, const QString& source, const QString& target, Callback done) override;
    void fetchLanguages(LanguagesHandler done) override;
    QStringList sourceCandidates(const QString& clientCode) const override;
    QStringList targetCandidates(const QString& clientCode) const override { return sourceCandidates(clientCode); }
    QString providerName() const override { return QStringLiteral("Google Cloud Translation"); }

private:
    TranslationResult failure(const Answer& answer) const;
    QUrlQuery keyQuery() const;
};

} // namespace service
