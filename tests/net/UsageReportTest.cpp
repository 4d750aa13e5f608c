#include "UsageReport.h"
#include "LoopbackServer.h"
#include "ProxyEnvironment.h"
#include "QtPrinters.h"
#include "VersionRecord.h"
#include "WaitUntil.h"
#include "http.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct CallsignCase {
    const char* name;
    QString callsign;
    QByteArray body;
};

void PrintTo(const CallsignCase& c, std::ostream* os)
{
    *os << c.name;
}

class UsageReport : public ::testing::TestWithParam<CallsignCase>
{
protected:
    ProxyEnvironment m_environment;
};

TEST_P(UsageReport, PostsCallsignProgramAndVersionUnescaped)
{
    LoopbackServer server(httpReply("200 OK", "thanks"));
    const VersionRecord record = VersionRecord::read();

    report::sendUsageReport(
        QString::fromLatin1(server.hostAndPort()), GetParam().callsign, record.productName, record.versionText());
    ASSERT_TRUE(waitUntil([] { return !http::isSending(); }));

    const QByteArray& body = GetParam().body;
    EXPECT_EQ(server.requests(),
        QList<QByteArray>({"POST /EP/stats.php HTTP/1.0\r\nHost: " + server.hostAndPort()
            + "\r\nUser-Agent: Verbolt\r\nContent-Type: "
              "application/x-www-form-urlencoded\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body}));
}

INSTANTIATE_TEST_SUITE_P(Callsigns, UsageReport,
    ::testing::Values(CallsignCase{"Plain", QStringLiteral("OZ1ABC"), "Callsign=OZ1ABC&Program=*** Dolmex &Ver=1.0.2"},
        CallsignCase{"Empty", QString(), "Callsign=&Program=*** Dolmex &Ver=1.0.2"},
        CallsignCase{"Separators", QStringLiteral("OZ1&A=B C"), "Callsign=OZ1&A=B C&Program=*** Dolmex &Ver=1.0.2"}),
    CaseName());

} // namespace
