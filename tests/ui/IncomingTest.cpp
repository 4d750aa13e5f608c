// Chat text from the host: the version probe, the pane's incoming form, the translation and nested events.
#include "UiFixture.h"

#include "ServiceAddress.h"

namespace {

const QString kVersionReply = QStringLiteral("*** Dolmex   v1.0");

struct IncomingCase {
    const char* name;
    QString received;
    int timeStamp;
    QString own; // comFrom
    std::optional<QString> reply;
    QString pane;
    QStringList notices;
    QStringList asked;
    QStringList sent;
};

void PrintTo(const IncomingCase& c, std::ostream* os)
{
    *os << c.name;
}

const IncomingCase kCases[] = {
    {"stampedAndProtected", "CALL>hola", 1, "English", "(14:05) CALL~hello",
        "(14:05) CALL<<hola\r\n(14:05) CALL<< hello\r\n", {}, {"(14:05) CALL~hola"}, {}},
    {"everyMarker", "A>B>C", 0, "English", "X~Y~Z", "A<<B<<C\r\nX<< Y<< Z\r\n", {}, {"A~B~C"}, {}},
    {"partnerTilde", "a~b<<c", 0, "English", "x~y~z", "a~b<<c\r\nx<< y<< z\r\n", {}, {"a~b~c"}, {}},
    {"crLfBecomesCrLfLf", "one\r\ntwo", 0, "English", "1 &lt;br&gt;2", "one\r\n\ntwo\r\n1\r\r\n2\r\n", {},
        {"one\r\n\ntwo"}, {}},
    {"loneLfUnchanged", "one\ntwo", 0, "English", "uno", "one\ntwo\r\nuno\r\n", {}, {"one\ntwo"}, {}},
    {"loneCrBecomesCrLf", "one\rtwo", 0, "English", "uno", "one\r\ntwo\r\nuno\r\n", {}, {"one\r\ntwo"}, {}},
    {"greyedStampIsOff", "hola", 2, "English", "hello", "hola\r\nhello\r\n", {}, {"hola"}, {}},
    {"noOwnLanguage", "hola", 0, "", "hello", "hola\r\n", {kChoose}, {}, {}},
    {"unchangedIsFailure", "EA1XYZ", 0, "English", "EA1XYZ", "EA1XYZ\r\n" + mark(kUnchanged),
        {notTranslated(kUnchanged)}, {"EA1XYZ"}, {}},
    {"emptyTextEmptyResult", "", 0, "English", "", "\r\n" + mark(kUnchanged), {notTranslated(kUnchanged)}, {""}, {}},
    {"emptyResultIsALine", "hola", 0, "English", "", "hola\r\n\r\n", {}, {"hola"}, {}},
    {"noTranslationInReply", "hola", 0, "English", std::nullopt, "hola\r\n" + mark(kNoTranslation),
        {notTranslated(kNoTranslation)}, {"hola"}, {}},
    {"autoOwnLanguage", "hola", 0, "Klingon", "x", "hola\r\n" + mark(kKlingon), {kAuto, notTranslated(kKlingon)}, {},
        {}},
    {"markupStaysText", "<img src=x>", 0, "English", "&lt;b&gt;", "<img src=x<<\r\n<b<<\r\n", {}, {"<img src=x~"}, {}},
    {"versionProbe", "CALL>my /ver/?", 0, "English", "CALL~mi /ver/?", "CALL<<my /ver/?\r\nCALL<< mi /ver/?\r\n", {},
        {"CALL~my /ver/?"}, {kVersionReply}},
    {"probeIsCaseSensitive", "/VER/", 0, "English", "/ver/", "/VER/\r\n/ver/\r\n", {}, {"/VER/"}, {}},
};

class Incoming : public UiFixture, public ::testing::WithParamInterface<IncomingCase>
{
};

TEST_P(Incoming, ChatText)
{
    const IncomingCase& c = GetParam();
    translate = [&c](const QString&) { return c.reply; };
    startWith(c.own, QStringLiteral("Espa\u00f1ol"), 0, c.timeStamp);

    host->receive(c.received);
    settle();

    EXPECT_EQ(window->Text1->text(), c.pane);
    EXPECT_EQ(notices, c.notices);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(host->sent, c.sent);
    EXPECT_EQ(host->callSettingsApplied, 1);
    if (!c.asked.isEmpty()) {
        EXPECT_EQ(langpairs.value(0), QStringLiteral("es|en"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Incoming, ::testing::ValuesIn(kCases), CaseName());

TEST_F(UiFixture, CallSettingsComeFirstAndTheProbeIsAnsweredOnceAMinute)
{
    translate = [](const QString& text) { return text.toUpper(); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));

    // Each probe at the moment its turn comes; a thousand at once get one answer.
    for (int i = 0; i < 1000; ++i)
        host->receive(QStringLiteral("/ver/"));
    settle();
    for (const int seconds : {59, 60, 61, 120}) {
        steady = std::chrono::seconds(seconds);
        host->receive(QStringLiteral("again /ver/"));
        settle();
    }

    EXPECT_EQ(calls.mid(0, 3), (QStringList{"applyCallSettings", "send", "applyCallSettings"}));
    EXPECT_EQ(host->sent, QStringList(3, kVersionReply)); // at 0, 60 and 120 s
    EXPECT_EQ(host->callSettingsApplied, 1004);
}

TEST_F(UiFixture, ProbeReplyTheHostRefusesIsReportedAndTheTextStillShown)
{
    translate = [](const QString& text) { return text.toUpper(); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    host->takesText = false;

    host->receive(QStringLiteral("/ver/"));
    settle();

    EXPECT_EQ(notices, QStringList{QStringLiteral("The text did not reach the chat host: host busy")});
    EXPECT_EQ(window->Text1->text(), QStringLiteral("/ver/\r\n/VER/\r\n"));
}

TEST_F(UiFixture, EventsAreHandledOneAtATimeInTheOrderTheyHappened)
{
    // The operator's Enter and a chat text arrive while the first chat text waits for its translation.
    translate = [](const QString& text) { return QStringLiteral("T:") + text; };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    fetcher->hold = true;
    host->receive(QStringLiteral("first"));
    window->txtInput->setText(QStringLiteral("typed"));
    pressEnter();
    host->receive(QStringLiteral("second"));
    EXPECT_EQ(window->Text1->text(), QStringLiteral("first\r\n"));
    EXPECT_EQ(fetcher->held(), 1);

    fetcher->hold = false;
    fetcher->release();
    settle();

    EXPECT_EQ(window->Text1->text(),
        QStringLiteral("first\r\nT:first\r\n"
                       "EA1XYZ>< T:typed\r\n"
                       "second\r\nT:second\r\n"));
    EXPECT_EQ(host->sent, QStringList{QStringLiteral("T:typed")});
    EXPECT_EQ(window->sText2, QStringLiteral("second"));
}

TEST_F(UiFixture, ChatTextArrivingOnANoticeWaitsForItsTurn)
{
    translate = [](const QString& text) { return text == u"x" ? QStringLiteral("x") : QStringLiteral("ok"); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    bool once = true;
    onNotice = [&](const QString&) {
        if (std::exchange(once, false))
            host->receive(QStringLiteral("inner"));
    };

    host->receive(QStringLiteral("x"));
    settle();

    EXPECT_EQ(window->Text1->text(), QStringLiteral("x\r\n") + mark(kUnchanged) + QStringLiteral("inner\r\nok\r\n"));
    EXPECT_EQ(notices, QStringList{notTranslated(kUnchanged)});
}

TEST_F(UiFixture, ABurstOfChatTextIsShownWholeTheOldestUntranslatedBeyondTheBound)
{
    translate = [](const QString& text) { return QStringLiteral("T") + text; };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    window->txtInput->setText(QStringLiteral("typed"));
    constexpr int lines = 10000;
    constexpr int bound = 200;
    const QString shed = mark(QStringLiteral("more than 200 chat texts were waiting for a translation"));
    // 0 is on its way at once; 1 .. 9799 are shed as the newer ones come; the typed line in between keeps its turn.
    QString expected = QStringLiteral("0\r\n");
    for (int i = 0; i < lines; ++i) {
        host->receive(QString::number(i));
        if (i == 5)
            pressEnter();
        if (i >= 1 && i < lines - bound)
            expected += QString::number(i) + QStringLiteral("\r\n") + shed;
    }
    EXPECT_EQ(window->Text1->text(), expected);
    expected += QStringLiteral("T0\r\nEA1XYZ>< Ttyped\r\n");
    for (int i = lines - bound; i < lines; ++i)
        expected += QString::number(i) + QStringLiteral("\r\nT") + QString::number(i) + QStringLiteral("\r\n");
    ASSERT_TRUE(waitUntil([this] { return !window->isBusy(); }, std::chrono::minutes(5)));

    EXPECT_EQ(window->Text1->text(), expected);
    EXPECT_EQ(asked.size(), bound + 2);
    EXPECT_TRUE(notices.isEmpty()) << notices.join(u'\n');
}

struct FailureRun {
    const char* name;
    PageResult::Failure failure;
    int seconds;
    QString reason;
};

void PrintTo(const FailureRun& c, std::ostream* os)
{
    *os << c.name;
}

class FailureReasons : public UiFixture, public ::testing::WithParamInterface<FailureRun>
{
};

TEST_P(FailureReasons, FirstFailureSaysWhyRepeatsOnlyMarkThePaneUntilASuccess)
{
    translate = [](const QString& text) { return text.toUpper(); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    pageFailure.failure = GetParam().failure;
    pageFailure.seconds = GetParam().seconds;

    for (const char* text : {"a", "b", "c"})
        host->receive(QString::fromLatin1(text));
    settle();
    pageFailure = {};
    host->receive(QStringLiteral("d"));
    settle();
    pageFailure.failure = GetParam().failure;
    pageFailure.seconds = GetParam().seconds;
    host->receive(QStringLiteral("e"));
    settle();

    const QString marked = mark(GetParam().reason);
    EXPECT_EQ(
        window->Text1->text(), "a\r\n" + marked + "b\r\n" + marked + "c\r\n" + marked + "d\r\nD\r\ne\r\n" + marked);
    EXPECT_EQ(notices, QStringList(2, notTranslated(GetParam().reason)));
}

INSTANTIATE_TEST_SUITE_P(Causes, FailureReasons,
    ::testing::Values(FailureRun{"serviceDown", PageResult::Failure::Refused, 0,
                          "the translation service at " + net::ServiceAddress::defaultSocketPath() + " is not running"},
        FailureRun{"silentService", PageResult::Failure::TimedOut, 20, "no answer within 20 s"},
        FailureRun{"hugeAnswer", PageResult::Failure::TooLarge, 0, "the answer is larger than 1 MiB"},
        FailureRun{"unknownAddress", PageResult::Failure::HostNotFound, 0,
            "the translation service's address " + net::ServiceAddress::defaultSocketPath() + " is not known"}),
    CaseName());

TEST_F(UiFixture, TheServicesOwnReasonIsShown)
{
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    fetcher->answer = [](const QString&) {
        PageResult page;
        page.body = QStringLiteral(R"({"responseData": null, "responseDetails": "no engine here translates Spanish )"
                                   R"(to English", "responseStatus": 400})");
        return page;
    };

    host->receive(QStringLiteral("hola"));
    settle();

    EXPECT_EQ(notices, QStringList{notTranslated(QStringLiteral("no engine here translates Spanish to English"))});
}

TEST_F(UiFixture, ClosingEndsAtOnceWithoutSaving)
{
    startWith(QStringLiteral("Klingon"), QStringLiteral("German"), 1, 1);
    window->Timer1_Timer();

    host->close();

    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(window->hostClosed());
    EXPECT_FALSE(QFile::exists(iniPath()));
}

TEST_F(UiFixture, ClosingWhileATranslationWaitsEndsEverything)
{
    translate = [](const QString& text) { return text.toUpper(); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    fetcher->hold = true;
    host->receive(QStringLiteral("waiting"));
    host->receive(QStringLiteral("queued"));
    window->txtInput->setText(QStringLiteral("typed"));
    pressEnter();

    host->close();
    fetcher->release();
    QCoreApplication::processEvents();

    // Everything still on its way is kept as it came, marked: nothing received is lost.
    const QString closed = QStringLiteral("the chat host closed");
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(window->Text1->text(),
        QStringLiteral("waiting\r\n") + mark(closed) + QStringLiteral("queued\r\n") + mark(closed)
            + QStringLiteral("EA1XYZ>>typed\r\n>!! not sent: the chat host closed\r\n"));
    EXPECT_TRUE(host->sent.isEmpty());
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(UiFixture, ClosingKeepsEachFlowAsFarAsItGot)
{
    // A probe whose answer the host holds (not shown yet), and a typed line already sent (shown, its line not yet).
    translate = [](const QString& text) { return text.toUpper(); };
    startWith(QStringLiteral("English"), QStringLiteral("German"), 1);
    host->holdSends = true;
    host->receive(QStringLiteral("CALL>/ver/"));
    ASSERT_TRUE(waitUntil([this] { return host->heldSends() == 1; }));
    window->close();
    EXPECT_EQ(window->Text1->text(), QStringLiteral("CALL<</ver/\r\n") + mark(QStringLiteral("the window was closed")));

    startWith(QStringLiteral("English"), QStringLiteral("German"), 1);
    host->holdSends = true;
    window->txtInput->setText(QStringLiteral("hello"));
    pressEnter();
    ASSERT_TRUE(waitUntil([this] { return host->heldSends() == 1; }));
    host->releaseSends();
    host->close();
    EXPECT_EQ(window->Text1->text(), QStringLiteral("EA1XYZ>>hello\r\nEA1XYZ>< HELLO\r\n"));
    EXPECT_EQ(host->sent, QStringList{QStringLiteral("HELLO")});
}

} // namespace
