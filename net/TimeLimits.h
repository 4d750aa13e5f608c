#pragma once

namespace net {

/// Longest wait for the name lookup and the connection together.
inline constexpr long kConnectTimeoutSeconds = 20;
/// A transfer that moves no byte for this long is given up.
inline constexpr long kIdleTimeoutSeconds = 20;
/// No transfer lasts longer than this, however slowly its bytes trickle in.
inline constexpr long kTotalTimeoutSeconds = 50;

} // namespace net
