#pragma once

#include "Engine.h"

namespace service {

/// An engine with its text's protected words guarded: before the engine sees a text, its callsigns, links,
/// reports, ... are written in the engine's keep form (and a line all in capitals is lowered to sentence case);
/// afterwards each must come back exactly once, unchanged, or be put back where it goes. An answer that lost one is
/// a failure of the engine that names the word. The answer is tidied to the input's spacing.
class GuardedEngine : public Engine
{
public:
    /// inner: the engine guarded, not owned; it must outlive this one.
    explicit GuardedEngine(Engine& inner);

    void translate(const QString& text, const QString& source, const QString& target, Callback done) override;
    QStringList pairs() const override { return m_inner.pairs(); }
    PairSupport supports(const QString& source, const QString& target) const override
    {
        return m_inner.supports(source, target);
    }
    void queryLanguages(std::function<void()> done) override { m_inner.queryLanguages(std::move(done)); }
    KeepForm keepForm() const override { return m_inner.keepForm(); }

    Engine& inner() const { return m_inner; }

private:
    Engine& m_inner;
};

} // namespace service
