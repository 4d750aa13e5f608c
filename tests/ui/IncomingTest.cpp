// Chat text from the host: the version probe, the pane's incoming form, the translation and nested events.
#include "UiFixture.h"

namespace {

const QString kChoose = QStringLiteral("You have to choise a language to translate to.");
const QString kNotTranslated = QStringLiteral("Could not translate the text, sorry");
const QString kAuto = QStringLiteral("Cant use autoDetect to the language you want to translate.");
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
    {"unchangedIsFailure", "EA1XYZ", 0, "English", "EA1XYZ", "EA1XYZ\r\n", {kNotTranslated}, {"EA1XYZ"}, {}},
    {"emptyTextEmptyResult", "", 0, "English", "", "\r\n", {kNotTranslated}, {""}, {}},
    {"emptyResultIsALine", "hola", 0, "English", "", "hola\r\n\r\n", {}, {"hola"}, {}},
    {"noTranslationInReply", "hola", 0, "English", std::nullopt, "hola\r\n", {kNotTranslated}, {"hola"}, {}},
    {"autoOwnLanguage", "hola", 0, "Portuguese", "x", "hola\r\n", {kAuto, kNotTranslated}, {}, {}},
    {"markupStaysText", "<img src=x>", 0, "English", "&lt;b&gt;", "<img src=x<<\r\n<b>\r\n", {}, {"<img src=x~"}, {}},
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

    EXPECT_EQ(window->Text1->text(), c.pane);
    EXPECT_EQ(notices, c.notices);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(host->sent, c.sent);
    EXPECT_EQ(host->callSettingsApplied, 1);
    if (!c.asked.isEmpty()) {
        EXPECT_EQ(langpairs.value(0), c.own == u"English" ? QStringLiteral("es|en") : QStringLiteral("es|auto"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Incoming, ::testing::ValuesIn(kCases), CaseName());

TEST_F(UiFixture, CallSettingsComeFirstAndTheProbeIsAnsweredEveryTime)
{
    translate = [](const QString& text) { return text.toUpper(); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));

    host->receive(QStringLiteral("/ver/"));
    host->receive(QStringLiteral("again /ver/"));

    EXPECT_EQ(calls, (QStringList{"applyCallSettings", "send", "applyCallSettings", "send"}));
    EXPECT_EQ(host->sent, (QStringList{kVersionReply, kVersionReply}));
    EXPECT_EQ(host->callSettingsApplied, 2);
}

TEST_F(UiFixture, ProbeReplyTheHostRefusesIsReportedAndTheTextStillShown)
{
    translate = [](const QString& text) { return text.toUpper(); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    host->takesText = false;

    host->receive(QStringLiteral("/ver/"));

    EXPECT_EQ(notices, QStringList{QStringLiteral("The text did not reach the chat host: host busy")});
    EXPECT_EQ(window->Text1->text(), QStringLiteral("/ver/\r\n/VER/\r\n"));
}

TEST_F(UiFixture, EventsWaitingAtTheProbeStepCompleteFirst)
{
    translate = [](const QString& text) { return QStringLiteral("T:") + text; };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    window->txtInput->setText(QStringLiteral("typed"));
    // Waiting before the first text arrives: the operator's Enter and another chat text.
    QCoreApplication::postEvent(
        window->txtInput, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")));
    QMetaObject::invokeMethod(
        host, [this] { host->receive(QStringLiteral("second")); }, Qt::QueuedConnection);

    host->receive(QStringLiteral("first"));

    EXPECT_EQ(window->Text1->text(),
        QStringLiteral("EA1XYZ>< T:typed\r\n"
                       "second\r\nT:second\r\n"
                       "first\r\nT:first\r\n"));
    EXPECT_EQ(host->sent, QStringList{QStringLiteral("T:typed")});
    EXPECT_EQ(window->sText2, QStringLiteral("first"));
}

TEST_F(UiFixture, ChatEventOnANoticeRunsInside)
{
    // A chat text that arrives while a notice is up is handled there, before the first flow goes on.
    translate = [](const QString& text) { return text == u"x" ? QStringLiteral("x") : QStringLiteral("ok"); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    bool once = true;
    onNotice = [&](const QString&) {
        if (std::exchange(once, false))
            host->receive(QStringLiteral("inner"));
    };

    host->receive(QStringLiteral("x"));

    EXPECT_EQ(window->Text1->text(), QStringLiteral("x\r\ninner\r\nok\r\n"));
    EXPECT_EQ(notices, QStringList{kNotTranslated});
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

TEST_F(UiFixture, ClosingWhileTheProbeStepWaitsStopsTheFlow)
{
    translate = [](const QString& text) { return text.toUpper(); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    QMetaObject::invokeMethod(
        host, [this] { host->close(); }, Qt::QueuedConnection);

    host->receive(QStringLiteral("late"));

    EXPECT_EQ(quits, 1);
    EXPECT_EQ(window->Text1->text(), QString());
    EXPECT_TRUE(asked.isEmpty());
}

} // namespace
