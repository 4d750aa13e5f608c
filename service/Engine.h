#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace service {

/// What an engine answers for one text.
struct TranslationResult {
    enum class Status {
        Ok, ///< text holds the translation
        UnknownPair, ///< the engine cannot translate between these languages; error says why
        TooLong, ///< the text is over the engine's size limit
        Failed, ///< the engine broke down or timed out; error says why
    };
    Status status = Status::Failed;
    QString text;
    QString error;
    /// For a source of "auto": the code of the language the engine chose.
    QString detectedSource;

    static TranslationResult ok(QString text) { return {Status::Ok, std::move(text), {}, {}}; }
    static TranslationResult refused(Status status, QString error) { return {status, {}, std::move(error), {}}; }
};

/// A translation engine behind the HTTP layer. Line breaks in texts are LF, both ways.
class Engine
{
public:
    using Callback = std::function<void(const TranslationResult&)>;

    virtual ~Engine() = default;

    /// Translates text from source to target (the client's codes: "en", "zh-CN", "no", or "auto" as source).
    /// done runs exactly once, always later from the event loop, never inside this call.
    virtual void translate(const QString& text, const QString& source, const QString& target, Callback done) = 0;

    /// The pairs the engine can serve, as "src|dst" in the client's codes; empty when it cannot tell.
    virtual QStringList pairs() const = 0;
};

} // namespace service
