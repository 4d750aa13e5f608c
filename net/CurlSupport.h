#pragma once

#include "TimeLimits.h"

#include <curl/curl.h>

namespace net {

/// Initialises libcurl once per process, whichever thread gets here first.
void initCurl();

/// Options every transfer shares: the time limits, no signals, and no wait for a hung name lookup on give-up.
void applyCommonOptions(CURL* curl);

} // namespace net
