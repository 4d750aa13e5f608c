// Start-up: attaching the host, the title, the settings read, the language lists and the usage report.
#include "UiFixture.h"

namespace {

TEST_F(UiFixture, FirstRunShowsTheDefaultsAndWritesNothing)
{
    ASSERT_TRUE(start());

    EXPECT_EQ(window->comFrom->currentText(), QStringLiteral("English"));
    EXPECT_EQ(window->comLan->currentText(), QStringLiteral("German"));
    EXPECT_EQ(window->comFrom->currentIndex(), -1);
    EXPECT_EQ(window->comLan->currentIndex(), -1);
    EXPECT_EQ(window->comFrom->count(), 23);
    EXPECT_EQ(window->comLan->count(), 23);
    EXPECT_EQ(window->UseTr->value(), 0);
    EXPECT_EQ(window->TimeStamp->value(), 0);
    EXPECT_EQ(window->Text2, QStringLiteral("0"));
    EXPECT_EQ(window->Text3, QStringLiteral("0"));
    EXPECT_FALSE(QFile::exists(iniPath()));
    EXPECT_EQ(window->focusWidget(), window->txtInput);
}

TEST_F(UiFixture, StartsInOrderAndReportsOnceBeforeTheWindowShows)
{
    writeIni("[SETTINGS]\nStatsHost=127.0.0.1:9\n");
    bool checked = false;
    onReport = [&] {
        checked = true;
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->windowTitle(), QStringLiteral("*** Dolmex     EA1XYZ   v1.0.2"));
        EXPECT_EQ(window->comLan->currentText(), QStringLiteral("German"));
        EXPECT_EQ(window->comLan->count(), 23);
    };

    ASSERT_TRUE(start());

    EXPECT_TRUE(checked);
    EXPECT_EQ(calls, (QStringList{"createHost", "callsign", "callsign", "report"}));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].statsHost, QStringLiteral("127.0.0.1:9"));
    EXPECT_EQ(reports[0].callsign, QStringLiteral("EA1XYZ"));
    EXPECT_EQ(reports[0].program, QStringLiteral("*** Dolmex "));
    EXPECT_EQ(reports[0].version, QStringLiteral("1.0.2"));
    EXPECT_EQ(window->Callsign, QStringLiteral("EA1XYZ"));
    EXPECT_EQ(window->Prog, QStringLiteral("*** Dolmex "));
    EXPECT_EQ(window->Ver, QStringLiteral("1.0.2"));
}

TEST_F(UiFixture, EmptyCallsignLeavesSevenSpacesInTheTitleAndAnEmptyReportField)
{
    startStation = QString();

    ASSERT_TRUE(start());

    EXPECT_EQ(
        window->windowTitle(), QStringLiteral("*** Dolmex ") + QStringLiteral("       ") + QStringLiteral("v1.0.2"));
    EXPECT_EQ(window->Callsign, QString());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].callsign, QString());
}

struct AttachFailure {
    const char* name;
    QString attachError;
    std::optional<QString> station;
    QString notice;
};

void PrintTo(const AttachFailure& c, std::ostream* os)
{
    *os << c.name;
}

class StartupFailure : public UiFixture, public ::testing::WithParamInterface<AttachFailure>
{
};

TEST_P(StartupFailure, ReportsTheReasonAndTouchesNothing)
{
    attachError = GetParam().attachError;
    startStation = GetParam().station;

    EXPECT_FALSE(start());

    EXPECT_EQ(notices, QStringList{GetParam().notice});
    EXPECT_TRUE(reports.empty());
    EXPECT_FALSE(QFile::exists(iniPath()));
    EXPECT_EQ(window->EchoLink, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartupFailure,
    ::testing::Values(AttachFailure{"noHost", "no program owns org.verbolt.ChatHost", QStringLiteral("EA1XYZ"),
                          "Verbolt could not attach to the chat host: no program owns org.verbolt.ChatHost"},
        AttachFailure{
            "noCallsign", "", std::nullopt, "Verbolt could not attach to the chat host: the host does not answer"}),
    CaseName());

TEST_F(UiFixture, ChatTextDuringTheReportRunsWithTheWindowHidden)
{
    translate = [](const QString& text) { return text.toUpper(); };
    onReport = [this] {
        // As the form post's pump hook would let it run.
        host->receive(QStringLiteral("early"));
        EXPECT_FALSE(window->isVisible());
    };

    ASSERT_TRUE(start());
    settle();

    EXPECT_EQ(window->Text1->text(), QStringLiteral("early\r\nEARLY\r\n"));
}

TEST_F(UiFixture, HostClosingDuringStartUpEndsIt)
{
    onReport = [this] { host->close(); };

    EXPECT_FALSE(start());

    EXPECT_TRUE(window->hostClosed());
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(UiFixture, ServiceHostSettingIsTheTranslationServer)
{
    writeIni("[SETTINGS]\nServiceHost=127.0.0.1:4711\nTextTo=German\n");
    translate = [](const QString&) { return QStringLiteral("hallo"); };
    ASSERT_TRUE(start());
    window->txtInput->setText(QStringLiteral("hello"));

    pressEnter();
    settle();

    ASSERT_EQ(urls.size(), 1);
    EXPECT_TRUE(urls[0].startsWith(
        QStringLiteral("http://127.0.0.1:4711/ajax/services/language/translate?v=1.0&q=hello&langpair=en")))
        << urls[0];
}

} // namespace
