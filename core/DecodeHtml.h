#pragma once

#include <QString>

namespace modGoogleTranslate {

/// Repairs the escapes and mis-decoded letters of a service reply in place; returns the repaired text.
QString DecodeHtml(QString& text);

} // namespace modGoogleTranslate
