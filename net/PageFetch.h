#pragma once

#include <QString>

namespace net {

/// Body of the page at url, fetched with one HTTP GET; "" when nothing could be fetched.
QString GetUrl(const QString& url);

/// True when any non-loopback interface is up with an address, or when that cannot be checked.
bool IsOnline();

} // namespace net
