// Every program answers --help and --version on a machine without a display or a session bus: the manual pages
// are made from these answers at build time.
#include "ProgramRun.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

struct OptionCase {
    const char* name;
    const char* program;
    const char* option;
    QByteArray outStart;
};

void PrintTo(const OptionCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProgramOptions : public testing::TestWithParam<OptionCase>
{
};

TEST_P(ProgramOptions, AnswerWithoutDisplayOrBus)
{
    const OptionCase& c = GetParam();
    const auto run = disttest::runProgram(
        QString::fromUtf8(c.program), {QString::fromUtf8(c.option)}, disttest::withoutDisplayOrBus());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.startsWith(c.outStart)) << run.out;
    EXPECT_EQ(run.err, QByteArray());
}

const QByteArray kVersion = VERBOLT_VERSION "\n";

INSTANTIATE_TEST_SUITE_P(Cases, ProgramOptions,
    testing::Values(OptionCase{"WindowHelp", VERBOLT_BIN, "--help", "Usage: verbolt [options]\n"},
        OptionCase{"WindowVersion", VERBOLT_BIN, "--version", "verbolt " + kVersion},
        OptionCase{"ServiceHelp", VERBOLT_SERVICE_BIN, "--help", "Usage: "},
        OptionCase{"ServiceVersion", VERBOLT_SERVICE_BIN, "--version", "verbolt-service " + kVersion},
        OptionCase{"HostHelp", VERBOLT_HOST_BIN, "--help", "Usage: "},
        OptionCase{"HostVersion", VERBOLT_HOST_BIN, "--version", "verbolt-host " + kVersion}),
    CaseName());

} // namespace
