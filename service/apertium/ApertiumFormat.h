#pragma once

#include <QByteArray>
#include <QString>

/// Plain-text formatting for Apertium's stream format, done in-process so that a request costs no extra
/// processes. It does what apertium-destxt -n and apertium-retxt do: stream characters are escaped, and every
/// run of blanks other than a single space, as well as "~" (the post-generation mark), is wrapped in a
/// superblank so that the pipeline hands it through untouched.
namespace ApertiumFormat {

/// The stream-format bytes for text (UTF-8, ending in two empty superblanks; NULs are dropped). A word between
/// U+E000 and U+E001 goes into a superblank with its marks, so that it comes out of every mode as written, still
/// marked (and passes a chain of modes the same way).
QByteArray deformat(const QString& text);

/// The text of the stream-format bytes a pipeline put out.
QString reformat(const QByteArray& stream);

/// How many lexical units of a morphological analysis (lt-proc output) are unknown ("^word/*word$").
int countUnknownWords(const QByteArray& analysis);

/// How many lexical units the analysis holds.
int countWords(const QByteArray& analysis);

} // namespace ApertiumFormat
