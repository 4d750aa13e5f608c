#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

/// Strict parsing of "a=1&b=2" query strings and form bodies.
namespace QueryString {

/// Percent-decodes bytes ("+" becomes a space when plusIsSpace). nullopt on a "%" that is not followed by
/// two hex digits.
std::optional<QByteArray> percentDecode(QByteArray bytes, bool plusIsSpace);

/// The name/value pairs of query, each decoded and read as UTF-8. nullopt on bad percent-encoding or bytes that
/// are not UTF-8. "+" is a space, as in HTML forms; the Verbolt client itself sends "+" as %2B.
std::optional<QList<QPair<QString, QString>>> parse(const QByteArray& query);

} // namespace QueryString
