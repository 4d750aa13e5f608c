#pragma once

#include <QString>
#include <QStringList>

namespace service {

/// Language codes as the Verbolt client sends them, and their names in English words for messages and for
/// engines that are told languages by name.
namespace LanguageNames {

/// The codes of the client's language table, in its order ("auto" is not among them).
const QStringList& clientCodes();

/// The English name of a code: "de" -> "German", "zh-CN" -> "Chinese (Simplified)"; the code itself when unknown.
QString englishName(const QString& code);

/// Whether code is "auto" (the client's "detect the source").
bool isAuto(const QString& code);

} // namespace LanguageNames

} // namespace service
