#pragma once

#include "engines/HttpEngine.h"

namespace service {

/// MyMemory (Translated): GET /get?q=TEXT&langpair=SRC|DST[&de=EMAIL], no key. q holds at most 500 bytes, so a
/// longer text goes in pieces cut at sentence ends (at word boundaries inside a longer sentence). The answer is
/// JSON: responseData.translatedText, responseStatus (200, or the refusal's status), responseDetails and
/// quotaFinished. It serves every language of the client's table, but not "auto".
class MyMemoryEngine : public HttpEngine
{
    Q_OBJECT
public:
    /// options.baseUrl may be empty: https://api.mymemory.translated.net. email: sent as de=.
    MyMemoryEngine(HttpEngineOptions options, QString email, QObject* parent = nullptr);

    /// Most bytes of q one request may carry.
    static constexpr qsizetype kMaxQueryBytes = 500;
    /// text cut into pieces of at most maxBytes (UTF-8) each, at sentence ends where it can, else at spaces, else
    /// between characters. The pieces joined give text back.
    static QStringList split(const QString& text, qsizetype maxBytes = kMaxQueryBytes);

    QStringList pairs() const override;
    PairSupport supports(const QString& source, const QString& target) const override;

protected:
    void request(const QString& text, const QString& source, const QString& target, Callback done) override;
    bool hasLanguagesQuery() const override { return false; }
    void fetchLanguages(LanguagesHandler done) override { done(std::nullopt, {}); }
    // It takes ISO 639-1 codes and RFC 3066 tags as they are: the client's "zh-CN" and "no" among them.
    QStringList sourceCandidates(const QString& clientCode) const override { return {clientCode}; }
    QStringList targetCandidates(const QString& clientCode) const override { return {clientCode}; }
    QString providerName() const override { return QStringLiteral("MyMemory (Translated)"); }

private:
    struct Job;
    void next(const std::shared_ptr<Job>& job);
    TranslationResult failure(const Answer& answer) const;

    QString m_email;
};

} // namespace service
