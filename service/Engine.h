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
    /// After a quota or rate refusal: how long the engine asks not to be called again, in ms (0: no rest).
    int restMs = 0;
    /// The id of the route that produced the text ("mymemory"), set by the router; empty from an engine itself.
    QString engine;

    static TranslationResult ok(QString text) { return {Status::Ok, std::move(text), {}, {}, 0, {}}; }
    static TranslationResult refused(Status status, QString error) { return {status, {}, std::move(error), {}, 0, {}}; }
};

/// Whether an engine serves a pair, as far as it knows.
enum class PairSupport {
    Yes,
    No, ///< the engine's languages exclude the pair
    Unknown, ///< the engine cannot tell (yet); it is tried
};

/// How an engine is handed the words a chat must keep exactly (callsigns, links, reports, ...).
enum class KeepForm {
    /// "{1}", "{2}" in their place; any engine can carry them, so it is the default.
    Placeholders,
    /// <x id="1">word</x> in text escaped as XML, sent so that the provider leaves the tag x alone (DeepL).
    XmlIgnoredTags,
    /// <span translate="no">word</span> in text escaped as HTML, sent as HTML (Google, LibreTranslate).
    HtmlNoTranslate,
    /// The word's number between U+E000 and U+E001, which the engine passes through untouched (Apertium's
    /// superblanks).
    PassThrough,
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

    /// The form in which this engine keeps protected words best.
    virtual KeepForm keepForm() const { return KeepForm::Placeholders; }

    /// As translate(), for text already written in keepForm() (escaped markup for the markup forms).
    virtual void translateMarked(const QString& text, const QString& source, const QString& target, Callback done)
    {
        translate(text, source, target, std::move(done));
    }

    /// The pairs the engine can serve, as "src|dst" in the client's codes; empty when it cannot tell.
    virtual QStringList pairs() const = 0;

    /// Whether the engine serves source -> target (source may be "auto"). By default read from pairs(): Unknown
    /// when that is empty; for "auto", Yes when some pair reaches target.
    virtual PairSupport supports(const QString& source, const QString& target) const
    {
        const QStringList known = pairs();
        if (known.isEmpty())
            return PairSupport::Unknown;
        if (source.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
            const QString suffix = u'|' + target;
            for (const QString& pair : known) {
                if (pair.endsWith(suffix, Qt::CaseInsensitive))
                    return PairSupport::Yes;
            }
            return PairSupport::No;
        }
        return known.contains(source + u'|' + target, Qt::CaseInsensitive) ? PairSupport::Yes : PairSupport::No;
    }

    /// Asks the provider which languages it has, where it can tell; done runs once that answer or its failure is
    /// in (at once for an engine without such a query).
    virtual void queryLanguages(std::function<void()> done) { done(); }
};

} // namespace service
