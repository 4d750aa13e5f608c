#pragma once

#include <QLatin1String>

/// Where a chat host is found on the session bus: the names its servers (the bridges) and its client (the window)
/// both use. The interfaces are described in org.verbolt.ChatHost.xml.
struct ChatHostBus {
    /// The well-known name a chat host owns.
    static constexpr QLatin1String serviceName{"org.verbolt.ChatHost"};
    /// The main object, serving org.verbolt.ChatHost.
    static constexpr QLatin1String objectPath{"/org/verbolt/ChatHost"};
    static constexpr QLatin1String chatHostInterface{"org.verbolt.ChatHost"};
    static constexpr QLatin1String stationInfoInterface{"org.verbolt.StationInfo"};
    /// Where the bridges serve the station-information object; clients follow the StationInfo property.
    static constexpr QLatin1String stationInfoPath{"/org/verbolt/ChatHost/StationInfo"};
};
