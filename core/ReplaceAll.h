#pragma once

#include <QString>
#include <QStringView>

namespace modGoogleTranslate {

/// text with every occurrence of find replaced, left to right and without overlap; what a replacement writes is not
/// searched again. One pass over text whatever the number of matches, so long replies cost linear time.
QString replaceAll(const QString& text, QStringView find, QStringView replacement);

} // namespace modGoogleTranslate
