#pragma once

#include "Engine.h"
#include "text/ProtectedWords.h"

#include <QList>
#include <QString>

namespace service {

/// Carries a text's protected words through an engine: writes them in the engine's keep form, and afterwards checks
/// that each came back exactly once, unchanged, putting back the ones it can place.
class TextGuard
{
public:
    /// What an engine made of a guarded text.
    struct Restored {
        bool ok = false;
        QString text; ///< the answer with every protected word as written, and tidied
        QString lost; ///< when not ok: the word that did not come back
    };

    /// Guards text (its spans from ProtectedWords::find) for an engine keeping words in form. What the form cannot
    /// carry as text becomes a protected word too (WordKind::Symbol): private-use characters, which the guard uses
    /// as markers, placeholders the text holds itself, and for Apertium the caret. There is no limit on their number.
    TextGuard(QString text, QList<ProtectedSpan> spans, KeepForm form);

    /// The text to hand to the engine.
    const QString& engineText() const { return m_engineText; }
    KeepForm form() const { return m_form; }
    const QList<ProtectedSpan>& spans() const { return m_spans; }

    /// The answer with the protected words restored and checked; target: the answer's language (for its
    /// punctuation spacing). An answer equal to engineText() gives the text back exactly. In Apertium's form, the
    /// capital Apertium puts on the word after an opening greeting or protected word is taken back when the text had
    /// that word in lower case.
    Restored restore(const QString& answer, const QString& target) const;

    /// answer with no whitespace that input lacks: leading and trailing whitespace as input has it (every Unicode
    /// space), no run of blanks the input does not hold, no space before closing punctuation or after opening
    /// punctuation (French keeps its spaces before ; : ! ? »).
    static QString tidy(QString answer, const QString& input, const QString& target);

private:
    QString m_text;
    QList<ProtectedSpan> m_spans;
    KeepForm m_form;
    QString m_engineText;
};

} // namespace service
