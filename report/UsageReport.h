#pragma once

#include <QString>

namespace report {

/// Posts the start-up usage report to "/EP/stats.php" on statsHost (a StatsHost setting: host[:port], a socket's
/// path, or empty for the default socket) and discards the reply. Returns at once; the
/// post runs on the event loop.
void sendUsageReport(const QString& statsHost, const QString& callsign, const QString& program, const QString& version);

} // namespace report
