// The operator's line: stamp, echo, translation, what the pane shows and what reaches the chat host.
#include "UiFixture.h"

#include <QScrollBar>

namespace {

struct OutgoingCase {
    const char* name;
    QString typed;
    int presses;
    int useTr;
    int timeStamp;
    QString to;
    std::optional<QString> reply; // nullopt: the service answers without a translation
    bool hostTakes;
    QString pane;
    QStringList notices;
    QStringList sent;
    QString inputAfter;
    QStringList asked;
};

void PrintTo(const OutgoingCase& c, std::ostream* os)
{
    *os << c.name;
}

const OutgoingCase kCases[] = {
    {"plain", "hello", 1, 0, 0, "German", "hallo", true, "EA1XYZ>< hallo\r\n", {}, {"hallo"}, "", {"hello"}},
    {"stampAndEcho", "hello", 1, 1, 1, "Espa\u00f1ol", "(14:05) hola", true,
        "EA1XYZ>>(14:05) hello\r\nEA1XYZ>< (14:05) hola\r\n", {}, {"(14:05) hola"}, "", {"(14:05) hello"}},
    {"greyedMeansOff", "hello", 1, 2, 2, "German", "hallo", true, "EA1XYZ>< hallo\r\n", {}, {"hallo"}, "", {"hello"}},
    {"emptyInput", "", 1, 1, 1, "German", "x", true, "", {}, {}, "", {}},
    {"noPartnerLanguage", "hi", 1, 1, 0, "", "x", true, "EA1XYZ>>hi\r\n", {kChoose}, {}, "hi", {}},
    {"noPartnerLanguageTwice", "hi", 2, 0, 1, "", "x", true, "", {kChoose, kChoose}, {}, "(14:05) (14:05) hi", {}},
    {"unchangedIsFailureAndKept", "EA1XYZ", 1, 0, 0, "German", "EA1XYZ", true, mark(kUnchanged),
        {notTranslated(kUnchanged)}, {}, "EA1XYZ", {"EA1XYZ"}},
    {"noTranslationInReply", "hello", 1, 1, 0, "German", std::nullopt, true, "EA1XYZ>>hello\r\n" + mark(kNoTranslation),
        {notTranslated(kNoTranslation)}, {}, "hello", {"hello"}},
    {"autoTarget", "hello", 1, 0, 0, "Klingon", "x", true, mark(kKlingon), {kAuto, notTranslated(kKlingon)}, {},
        "hello", {}},
    {"listedPortugueseHasItsCode", "hello", 1, 0, 0, "Portuguese", "ol\u00e1", true, "EA1XYZ>< ol\u00e1\r\n", {},
        {"ol\u00e1"}, "", {"hello"}},
    {"emptyTranslation", "hello", 1, 0, 0, "German", "", true, "EA1XYZ>< \r\n", {}, {""}, "", {"hello"}},
    {"lineBreaksAndEscapes", "a", 1, 0, 0, "German", "x &lt;br&gt;y &amp;amp; z", true, "EA1XYZ>< x\r\r\ny & z\r\n", {},
        {"x\r\r\ny & z"}, "", {"a"}},
    {"markupStaysText", "a", 1, 0, 0, "German", "<b>b</b>", true, "EA1XYZ>< <b>b</b>\r\n", {}, {"<b>b</b>"}, "", {"a"}},
    {"hostRefuses", "hello", 1, 1, 0, "German", "hallo", false, "EA1XYZ>>hello\r\n",
        {"The text did not reach the chat host: host busy"}, {}, "hello", {"hello"}},
    {"tooLongForTheChat", "hello", 1, 0, 0, "German", QString(32001, u'x'), true, "",
        {"The text did not reach the chat host: the text is 32001 characters long, and the chat takes at most 32000"},
        {}, "hello", {"hello"}},
    {"longestTheChatTakes", "hello", 1, 0, 0, "German", QString(32000, u'x'), true,
        "EA1XYZ>< " + QString(32000, u'x') + "\r\n", {}, {QString(32000, u'x')}, "", {"hello"}},
};

class Outgoing : public UiFixture, public ::testing::WithParamInterface<OutgoingCase>
{
};

TEST_P(Outgoing, Enter)
{
    const OutgoingCase& c = GetParam();
    translate = [&c](const QString&) { return c.reply; };
    startWith(QStringLiteral("English"), c.to, c.useTr, c.timeStamp);
    host->takesText = c.hostTakes;
    window->txtInput->setText(c.typed);

    for (int i = 0; i < c.presses; ++i) {
        pressEnter();
        settle();
    }

    EXPECT_EQ(window->Text1->text(), c.pane);
    EXPECT_EQ(notices, c.notices);
    EXPECT_EQ(host->sent, c.sent);
    EXPECT_EQ(window->txtInput->text(), c.inputAfter);
    EXPECT_EQ(asked, c.asked);
}

INSTANTIATE_TEST_SUITE_P(Cases, Outgoing, ::testing::ValuesIn(kCases), CaseName());

TEST_F(UiFixture, EnterIsSwallowedAndTheLineEditNeverSeesIt)
{
    translate = [](const QString&) { return QStringLiteral("hallo"); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    int returnPressed = 0;
    QObject::connect(window->txtInput, &QLineEdit::returnPressed, [&] { ++returnPressed; });
    window->txtInput->setText(QStringLiteral("hello"));

    QKeyEvent press(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r"));
    EXPECT_TRUE(QCoreApplication::sendEvent(window->txtInput, &press));
    settle();

    EXPECT_EQ(returnPressed, 0);
    EXPECT_EQ(host->sent, QStringList{QStringLiteral("hallo")});
    EXPECT_EQ(window->txtInput->text(), QString());
}

TEST_F(UiFixture, TranslateButtonRunsTheSameFlowAndLeavesCaretAtTheEnd)
{
    translate = [](const QString& text) { return text.toUpper(); };
    startWith(QStringLiteral("English"), QStringLiteral("German"), 1);
    window->show();
    for (int i = 0; i < 40; ++i) {
        window->txtInput->setText(QStringLiteral("line %1").arg(i));
        window->cmdTrans->click();
    }
    settle();

    EXPECT_EQ(host->sent.size(), 40);
    EXPECT_TRUE(window->Text1->text().endsWith(QStringLiteral("EA1XYZ>< LINE 39\r\n")));
    EXPECT_TRUE(window->Text1->textCursor().atEnd());
    const QScrollBar* bar = window->Text1->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(window->focusWidget(), window->txtInput);
}

TEST_F(UiFixture, CallsignIsReadForEachLineAndMayBeMissing)
{
    translate = [](const QString&) { return QStringLiteral("hallo"); };
    startWith(QStringLiteral("English"), QStringLiteral("German"), 1);
    host->station = std::nullopt;
    window->txtInput->setText(QStringLiteral("hello"));
    const int before = host->callsignReads;

    pressEnter();
    settle();

    EXPECT_EQ(window->Text1->text(), QStringLiteral(">>hello\r\n>< hallo\r\n"));
    EXPECT_EQ(host->callsignReads - before, 2);
}

TEST_F(UiFixture, NoConnectionToARemoteServiceGivesBothNotices)
{
    writeIni("[SETTINGS]\nServiceHost=translate.example.org\n");
    online = false;
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    window->txtInput->setText(QStringLiteral("hello"));

    pressEnter();
    settle();

    EXPECT_EQ(notices,
        (QStringList{QStringLiteral("You need a internet Connection to be translate your text."),
            notTranslated(QStringLiteral("this machine has no connection to the internet"))}));
    EXPECT_TRUE(urls.isEmpty());
    EXPECT_TRUE(host->sent.isEmpty());
}

} // namespace
