#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace service {

/// One language's text of a phrase: literal text and placeholders, in order.
struct PhraseSegment {
    struct Part {
        QString text; ///< literal text, when x is 0
        int x = 0; ///< the placeholder's number (<ph x="N">), 0 for literal text
        QString kind; ///< the placeholder's kind: "name", "call", ... (from type="x-name")
        bool operator==(const Part&) const = default;
    };
    QList<Part> parts;
    bool operator==(const PhraseSegment&) const = default;
};

/// One translation unit: a phrase in the languages it has, by the client's language code ("en", "zh-CN"). A language
/// may have several wordings (several <tuv> of one language): each is found as a source, the first is the one
/// written as a translation.
struct PhraseUnit {
    QString id; ///< tuid
    QHash<QString, QList<PhraseSegment>> segments;
    bool operator==(const PhraseUnit&) const = default;
};

/// Reads translation memories in TMX 1.4b.
namespace TmxReader {

/// The largest file read: a phrasebook of every QSO formula in every language is a small fraction of it.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

/// The units of the TMX file at path; nothing, with error set, when it cannot be read, is not a regular file (a
/// link to one is), is larger than kMaxFileBytes, or is not TMX. Opened without blocking, so a FIFO is refused
/// at once.
std::optional<QList<PhraseUnit>> read(const QString& path, QString* error);

/// The same from bytes already read.
std::optional<QList<PhraseUnit>> parse(const QByteArray& data, QString* error);

/// The same through a general XML reader: what parse falls back to for whatever its own quick reading of plain
/// UTF-8 TMX does not cover (a DOCTYPE, CDATA, other encodings, carriage returns, anything malformed).
std::optional<QList<PhraseUnit>> parseGeneral(const QByteArray& data, QString* error);

} // namespace TmxReader

} // namespace service
