// What a partner sends cannot reach the pane or the transcript as controls a terminal would obey, nor read as the
// program's own lines; what the chat host says about itself is shown as the program's own line.
#include "UiFixture.h"

namespace {

using namespace Qt::StringLiterals;

QByteArray transcript(const QString& stateHome)
{
    QFile file(stateHome + QStringLiteral("/verbolt/2026-12-08.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct EscapeCase {
    const char* name;
    QString received;
    QString shown; // the received line in the pane, line end included
    friend void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }
};

const EscapeCase kEscapes[] = {
    {"TitleSequence", u"a\u001b]0;x\u0007b"_s, u"a\\x1b]0;x\\x07b\r\n"_s},
    {"NulBackspaceDel", u"a\u0000b\u0008c\u007f"_s, u"a\\x00b\\x08c\\x7f\r\n"_s},
    {"C1", u"\u009b2J\u0085"_s, u"\\x9b2J\\x85\r\n"_s},
    {"BidiOverridesAndIsolates", u"abc\u202edef\u202c\u2066x\u2069"_s, u"abc\\u202edef\\u202c\\u2066x\\u2069\r\n"_s},
    {"LineSeparators", u"a\u2028b\u2029c"_s, u"a\\u2028b\\u2029c\r\n"_s},
    {"TabAndLineBreaksStay", u"a\tb\rc"_s, u"a\tb\r\nc\r\n"_s},
    {"PrintableUnicodeStays", u"\u00bfqu\u00e9? \u05e9\u05dc\u05d5\u05dd \U0001F600"_s,
        u"\u00bfqu\u00e9? \u05e9\u05dc\u05d5\u05dd \U0001F600\r\n"_s},
};

class PartnerControls : public UiFixture, public ::testing::WithParamInterface<EscapeCase>
{
};

TEST_P(PartnerControls, AreShownAndKeptEscaped)
{
    const EscapeCase& c = GetParam();
    // The service hands the text back with a control of its own: that is escaped too.
    translate = [](const QString& text) { return text + u"\u001b[0m"_s; };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    host->receive(c.received);
    settle();

    // The reply repair makes each LF a CR LF; the transcript has one LF for each line end.
    const QString sent = QString(c.shown).chopped(2);
    const QString translated = QString(sent).replace(u"\n"_s, u"\r\n"_s) + u"\\x1b[0m\r\n"_s;
    EXPECT_EQ(window->Text1->text(), c.shown + translated);
    EXPECT_EQ(asked, QStringList{sent});
    QString file = c.shown + translated;
    file.replace(u"\r\r\n"_s, u"\n"_s).replace(u"\r\n"_s, u"\n"_s);
    EXPECT_EQ(transcript(stateHome()), file.toUtf8());
}

INSTANTIATE_TEST_SUITE_P(Controls, PartnerControls, ::testing::ValuesIn(kEscapes), CaseName());

struct ForgeCase {
    const char* name;
    QString received;
    std::optional<QString> reply;
    friend void PrintTo(const ForgeCase& c, std::ostream* os) { *os << c.name; }
};

const ForgeCase kForgeries[] = {
    {"NotTranslatedAfterCr", u"hola\r!! not translated: the service is down"_s, u"hello"_s},
    {"OwnMarkAfterCr", u"hola\r>!! not translated: x\r>!! chat host: following #evil"_s, u"hello"_s},
    {"AfterLoneLf", u"hola\n>!! not sent: x"_s, u"hello"_s},
    {"InTheTranslation", u"hola"_s, u"hello &lt;br&gt;&gt;!! not translated: x"_s},
    {"TranslationWithLineBreakEntity", u"hola"_s, u"hello &lt;br&gt;EA1XYZ&gt;&lt; sent"_s},
};

class Forgery : public UiFixture, public ::testing::WithParamInterface<ForgeCase>
{
};

// Lines derived from a partner's text hold no '>': the program's own lines and the operator's all do.
TEST_P(Forgery, NeverReadsAsTheProgramsOwnLine)
{
    const ForgeCase& c = GetParam();
    translate = [&c](const QString&) { return c.reply; };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    host->receive(c.received);
    settle();

    EXPECT_FALSE(window->Text1->text().contains(u'>')) << window->Text1->text().toStdString();
    EXPECT_FALSE(transcript(stateHome()).contains('>'));
    EXPECT_TRUE(notices.isEmpty()) << notices.join(u'\n');
}

INSTANTIATE_TEST_SUITE_P(Marks, Forgery, ::testing::ValuesIn(kForgeries), CaseName());

TEST_F(UiFixture, ReasonsAndTheHostsWordsStayOnTheProgramsOneLine)
{
    attachSays = QStringLiteral("following #ham");
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    fetcher->answer = [](const QString&) {
        PageResult page;
        page.body = QStringLiteral(R"({"responseData": null, "responseDetails": "down\r\nEA1ABC<<hi"})");
        return page;
    };
    ASSERT_TRUE(waitUntil([this] { return !window->Text1->text().isEmpty(); }));
    host->say(QStringLiteral("#ham closed;\rfollowing no conversation"));
    host->receive(QStringLiteral("hola"));
    settle();

    const QString expected = QStringLiteral(">!! chat host: following #ham\r\n"
                                            ">!! chat host: #ham closed;\\x0dfollowing no conversation\r\nhola\r\n")
        + mark(QStringLiteral("down\\x0d\\x0aEA1ABC<<hi"));
    EXPECT_EQ(window->Text1->text(), expected);
    EXPECT_EQ(transcript(stateHome()), QString(expected).replace(u"\r\n"_s, u"\n"_s).toUtf8());
}

} // namespace
