#include "CommandLine.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

enum class Answered { Help, Version, Nothing, Engines };

struct ArgumentsCase {
    const char* name;
    QStringList arguments;
    Answered answer;
};

void PrintTo(const ArgumentsCase& c, std::ostream* os)
{
    *os << c.name;
}

class CommandLineRead : public testing::TestWithParam<ArgumentsCase>
{
};

TEST_P(CommandLineRead, AnswersItsOwnOptionsAndLeavesTheRestToQt)
{
    const CommandLine::Answer answer = CommandLine::read(GetParam().arguments);
    switch (GetParam().answer) {
    case Answered::Help:
        EXPECT_EQ(answer.exitCode, 0);
        EXPECT_EQ(answer.out, CommandLine::helpText());
        break;
    case Answered::Version:
        EXPECT_EQ(answer.exitCode, 0);
        EXPECT_EQ(answer.out, CommandLine::versionText());
        break;
    case Answered::Nothing:
    case Answered::Engines:
        EXPECT_FALSE(answer.exitCode.has_value());
        EXPECT_EQ(answer.out, QByteArray());
        break;
    }
    EXPECT_EQ(answer.engines, GetParam().answer == Answered::Engines);
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineRead,
    testing::Values(ArgumentsCase{"None", {}, Answered::Nothing}, ArgumentsCase{"Help", {"-h"}, Answered::Help},
        ArgumentsCase{"FirstOneWins", {"--version", "--help"}, Answered::Version},
        ArgumentsCase{"AfterQtOptions", {"-style", "fusion", "--help"}, Answered::Help},
        ArgumentsCase{"QtOptionsAlone", {"-platform", "offscreen", "-style", "fusion"}, Answered::Nothing},
        ArgumentsCase{"AfterDoubleDash", {"--", "--help"}, Answered::Nothing},
        ArgumentsCase{"Engines", {"-style", "fusion", "--engines"}, Answered::Engines},
        ArgumentsCase{"HelpBeforeEngines", {"--engines", "--help"}, Answered::Help},
        ArgumentsCase{"EnginesAfterDoubleDash", {"--", "--engines"}, Answered::Nothing}),
    CaseName());

} // namespace
