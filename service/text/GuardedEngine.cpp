#include "text/GuardedEngine.h"

#include "text/TextGuard.h"

#include <memory>

namespace service {

GuardedEngine::GuardedEngine(Engine& inner)
    : m_inner(inner)
{ }

void GuardedEngine::translate(const QString& text, const QString& source, const QString& target, Callback done)
{
    // Private-use characters of the text's own (the guard marks words with some) go through as protected words.
    QString input = text;
    QList<ProtectedSpan> spans = ProtectedWords::find(input);
    if (ProtectedWords::isAllCapitals(input, spans)) {
        spans = ProtectedWords::find(input, true);
        input = ProtectedWords::toSentenceCase(input, spans, source);
    }
    auto guard = std::make_shared<TextGuard>(input, spans, m_inner.keepForm());
    m_inner.translateMarked(
        guard->engineText(), source, target, [guard, target, done = std::move(done)](const TranslationResult& result) {
            if (result.status != TranslationResult::Status::Ok)
                return done(result);
            const TextGuard::Restored restored = guard->restore(result.text, target);
            if (!restored.ok) {
                return done(TranslationResult::refused(TranslationResult::Status::Failed,
                    QStringLiteral("lost \u201C%1\u201D from the text").arg(restored.lost)));
            }
            TranslationResult kept = result;
            kept.text = restored.text;
            done(kept);
        });
}

} // namespace service
