#pragma once

#include "engines/HttpEngine.h"

namespace service {

/// DeepL API: POST /v2/translate with the key in "Authorization: DeepL-Auth-Key", languages from
/// GET /v3/languages?resource=translate_text.
class DeepLEngine : public HttpEngine
{
    Q_OBJECT
public:
    /// options.baseUrl may be empty: the free host for a key ending ":fx", the paid one otherwise.
    explicit DeepLEngine(HttpEngineOptions options, QObject* parent = nullptr);

    /// https://api-free.deepl.com for a free key (":fx"), https://api.deepl.com for the others.
    static QUrl defaultUrl(const QString& key);
    /// Sent as XML with tag_handling=xml and ignore_tags=x.
    KeepForm keepForm() const override { return KeepForm::XmlIgnoredTags; }

protected:
    void request(const QString& text, const QString& source, const QString& target, Callback done) override;
    void fetchLanguages(LanguagesHandler done) override;
    QStringList sourceCandidates(const QString& clientCode) const override;
    QStringList targetCandidates(const QString& clientCode) const override;
    void addHeaders(QNetworkRequest& request) const override;

private:
    TranslationResult failure(const Answer& answer) const;
};

} // namespace service
