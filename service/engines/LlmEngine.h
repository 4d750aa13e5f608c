#pragma once

#include "engines/HttpEngine.h"

namespace service {

/// A language model behind an OpenAI-compatible chat completions endpoint (Ollama, llama.cpp server, vLLM,
/// LM Studio, hosted services): POST {base}/v1/chat/completions, told both languages by name in a system
/// instruction, with an optional bearer key. It has no languages list, so it is tried for every pair.
class LlmEngine : public HttpEngine
{
    Q_OBJECT
public:
    /// options.baseUrl: e.g. http://localhost:11434, or one ending in /v1.
    LlmEngine(HttpEngineOptions options, QString model, QObject* parent = nullptr);

    /// The system instruction for a pair, languages in English words.
    static QString instruction(const QString& source, const QString& target);

protected:
    void request(const QString& text, const QString& source, const QString& target, Callback done) override;
    bool hasLanguagesQuery() const override { return false; }
    void fetchLanguages(LanguagesHandler done) override { done(std::nullopt, {}); }
    QStringList sourceCandidates(const QString& clientCode) const override { return {clientCode}; }
    QStringList targetCandidates(const QString& clientCode) const override { return {clientCode}; }
    void addHeaders(QNetworkRequest& request) const override;

private:
    TranslationResult failure(const Answer& answer) const;

    QString m_model;
    QString m_path;
};

} // namespace service
