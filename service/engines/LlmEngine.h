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
    /// options.baseUrl: e.g. http://localhost:11434, or one ending in /v1. temperature: sent only when set
    /// (reasoning models refuse some values).
    LlmEngine(HttpEngineOptions options, QString model, std::optional<double> temperature = std::nullopt,
        QObject* parent = nullptr);

    /// The name of the tags the text goes between: "chat-text", or "chat-text-2", "-3"... when the text holds the
    /// name (in any case), so that no text can end its own part of the prompt.
    static QString delimiter(const QString& text);
    /// The system instruction for a pair, languages in English words; tag: delimiter() of the text.
    static QString instruction(
        const QString& source, const QString& target, const QString& tag = QStringLiteral("chat-text"));
    /// The user message: the chat text between delimiters, so that it is read as text, never as instructions.
    static QString userMessage(const QString& text);
    /// The translation in a model's reply: reasoning blocks removed wherever they stand, a "Translation:" label,
    /// the delimiters (those of source, see delimiter()) and quotes the source did not have taken off. Nothing when the
    /// reply ends inside its reasoning.
    static std::optional<QString> cleanReply(const QString& reply, const QString& source);

protected:
    void request(const QString& text, const QString& source, const QString& target, Callback done) override;
    bool hasLanguagesQuery() const override { return false; }
    void fetchLanguages(LanguagesHandler done) override { done(std::nullopt, {}); }
    QStringList sourceCandidates(const QString& clientCode) const override { return {clientCode}; }
    QStringList targetCandidates(const QString& clientCode) const override { return {clientCode}; }
    void addHeaders(QNetworkRequest& request) const override;
    QString providerName() const override { return QStringLiteral("language model %1").arg(m_model); }

private:
    TranslationResult failure(const Answer& answer) const;

    QString m_model;
    std::optional<double> m_temperature;
    QString m_path;
};

} // namespace service
