#include "HostProcess.h"
#include "QtPrinters.h"

#include <QProcess>

#include <gtest/gtest.h>

struct IntrospectCase {
    const char* name;
    const char* path;
    std::vector<const char*> shows;
    friend void PrintTo(const IntrospectCase& c, std::ostream* os) { *os << c.name; }
};

class Introspection : public ::testing::TestWithParam<IntrospectCase>
{
};

TEST_P(Introspection, ShowsTheInterfaceToStandardTools)
{
    HostProcess host({QStringLiteral("--callsign"), QStringLiteral("G4XYZ")});
    ASSERT_TRUE(host.waitReady()) << host.standardError().toStdString();

    QProcess gdbus;
    gdbus.start(QStringLiteral("gdbus"),
        {QStringLiteral("introspect"), QStringLiteral("--session"), QStringLiteral("--dest"),
            QStringLiteral("org.verbolt.ChatHost"), QStringLiteral("--object-path"),
            QString::fromLatin1(GetParam().path)});
    ASSERT_TRUE(gdbus.waitForFinished(10000));
    ASSERT_EQ(gdbus.exitCode(), 0) << gdbus.readAllStandardError().toStdString();
    const QByteArray shown = gdbus.readAllStandardOutput();
    for (const char* line : GetParam().shows)
        EXPECT_TRUE(shown.contains(line)) << "missing " << line << " in\n" << shown.toStdString();
}

INSTANTIATE_TEST_SUITE_P(RefHost, Introspection,
    ::testing::Values(IntrospectCase{"MainObject", "/org/verbolt/ChatHost",
                          {"interface org.verbolt.ChatHost {", "SendChatText(in  s text);",
                              "ChatTextReceived(s sText);", "Closing();",
                              "readonly o StationInfo = "
                              "'/org/verbolt/ChatHost/StationInfo';",
                              "node StationInfo"}},
        IntrospectCase{"StationInfo", "/org/verbolt/ChatHost/StationInfo",
            {"interface org.verbolt.StationInfo {", "readonly s Callsign = 'G4XYZ';"}}),
    CaseName());
