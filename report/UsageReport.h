#pragma once

#include <QString>

namespace report {

/// Posts the start-up usage report to "/EP/stats.php" on statsHost and discards the reply. Returns at once; the
/// post runs on the event loop.
void sendUsageReport(const QString& statsHost, const QString& callsign, const QString& program, const QString& version);

} // namespace report
