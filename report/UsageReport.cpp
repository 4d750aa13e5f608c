#include "UsageReport.h"

#include "http.h"

namespace report {

void sendUsageReport(const QString& statsHost, const QString& callsign, const QString& program, const QString& version)
{
    http::HttpOpenPost(net::ServiceAddress::parse(statsHost), QStringLiteral("/EP/stats.php"));
    http::HttpAddField(QStringLiteral("Callsign"), callsign);
    http::HttpAddField(QStringLiteral("Program"), program);
    http::HttpAddField(QStringLiteral("Ver"), version);
    // In the background: the script's answer is of no use to the program, and a slow script must not hold it.
    http::HttpSendPostInBackground();
}

} // namespace report
