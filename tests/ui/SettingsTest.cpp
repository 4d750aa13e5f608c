// The settings file: the profile-file rules, what start-up loads and what " OK " stores.
#include "ReadWriteIni.h"
#include "UiFixture.h"
#include "WaitUntil.h"

#include <QDir>

namespace {

struct ReadCase {
    const char* name;
    QByteArray file;
    QString section;
    QString key;
    QString expected;
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.name;
}

const QString kLong300 = QString(300, u'x');

const ReadCase kReads[] = {
    {"plain", "[SETTINGS]\nTextFrom=French\n", "SETTINGS", "TextFrom", "French"},
    {"keyCase", "[SETTINGS]\nUseTr=1\n", "SETTINGS", "USETR", "1"},
    {"sectionCase", "[settings]\nTextTo=Welsh\n", "SETTINGS", "TextTo", "Welsh"},
    {"spacesAroundEquals", "[SETTINGS]\n  TextTo  =   Welsh  \n", "SETTINGS", "TextTo", "Welsh"},
    {"doubleQuotes", "[SETTINGS]\nTextTo=\" Welsh \"\n", "SETTINGS", "TextTo", " Welsh "},
    {"singleQuotes", "[SETTINGS]\nTextTo='Welsh'\n", "SETTINGS", "TextTo", "Welsh"},
    {"unmatchedQuote", "[SETTINGS]\nTextTo=\"Welsh\n", "SETTINGS", "TextTo", "\"Welsh"},
    {"emptyValue", "[SETTINGS]\nTextTo=\n", "SETTINGS", "TextTo", ""},
    {"missingKey", "[SETTINGS]\nTextFrom=x\n", "SETTINGS", "TextTo", "<default>"},
    {"otherSection", "[OTHER]\nTextTo=x\n[SETTINGS]\n", "SETTINGS", "TextTo", "<default>"},
    {"missingSection", "TextTo=x\n", "SETTINGS", "TextTo", "<default>"},
    {"missingFile", QByteArray(), "SETTINGS", "TextTo", "<default>"},
    {"cutTo255", "[SETTINGS]\nTextTo=" + QByteArray(300, 'x') + "\n", "SETTINGS", "TextTo", kLong300.left(255)},
    {"windows1252", "[SETTINGS]\r\nTextTo=Espa\xf1ol\r\n", "SETTINGS", "TextTo", "Espa\u00f1ol"},
    {"utf8", "[SETTINGS]\nTextTo=Espa\xc3\xb1ol\n", "SETTINGS", "TextTo", "Espa\u00f1ol"},
    {"utf8Bom", "\xef\xbb\xbf[SETTINGS]\nTextTo=Welsh\n", "SETTINGS", "TextTo", "Welsh"},
    {"firstOfTwo", "[SETTINGS]\nTextTo=a\nTEXTTO=b\n", "SETTINGS", "TextTo", "a"},
    {"valueWithEquals", "[SETTINGS]\nTextTo=a=b\n", "SETTINGS", "TextTo", "a=b"},
};

class IniRead : public UiFixture, public ::testing::WithParamInterface<ReadCase>
{
};

TEST_P(IniRead, Value)
{
    const ReadCase& c = GetParam();
    if (!c.file.isNull())
        writeIni(c.file);
    EXPECT_EQ(ReadWriteIni::read(c.section, c.key, QStringLiteral("<default>"), iniPath()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniRead, ::testing::ValuesIn(kReads), CaseName());

struct WriteCase {
    const char* name;
    QByteArray before;
    QString key;
    QString value;
    QByteArray after;
};

void PrintTo(const WriteCase& c, std::ostream* os)
{
    *os << c.name;
}

const WriteCase kWrites[] = {
    {"createsFile", QByteArray(), "TextTo", "German", "[SETTINGS]\nTextTo=German\n"},
    {"replacesInPlace", "; mine\n[settings]\nTEXTTO=x\nOther=1\n\n[MORE]\nA=b\n", "TextTo", "Welsh",
        "; mine\n[settings]\nTEXTTO=Welsh\nOther=1\n\n[MORE]\nA=b\n"},
    {"addsAtEndOfSection", "[SETTINGS]\nOther=1\n\n[MORE]\nA=b\n", "TimeStamp", "2",
        "[SETTINGS]\nOther=1\nTimeStamp=2\n\n[MORE]\nA=b\n"},
    {"addsSection", "[MORE]\r\nA=b\r\n", "UseTr", "1", "[MORE]\r\nA=b\r\n[SETTINGS]\r\nUseTr=1\r\n"},
    {"writesUtf8", "[SETTINGS]\nTextTo=Espa\xf1ol\n", "TextFrom", "Espa\u00f1ol",
        "[SETTINGS]\nTextTo=Espa\xc3\xb1ol\nTextFrom=Espa\xc3\xb1ol\n"},
    {"lineBreakInValue", "", "TextTo", "a\r\nb", "[SETTINGS]\nTextTo=a  b\n"},
};

class IniWrite : public UiFixture, public ::testing::WithParamInterface<WriteCase>
{
};

TEST_P(IniWrite, File)
{
    const WriteCase& c = GetParam();
    if (!c.before.isNull())
        writeIni(c.before);
    QString error;
    EXPECT_TRUE(ReadWriteIni::write(QStringLiteral("SETTINGS"), c.key, c.value, iniPath(), &error)) << error;
    EXPECT_EQ(readIni(), c.after);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniWrite, ::testing::ValuesIn(kWrites), CaseName());

TEST_F(UiFixture, SettingsPathFollowsXdgConfigHome)
{
    EXPECT_EQ(ReadWriteIni::settingsPath(), iniPath());
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ReadWriteIni::settingsPath(), QDir::homePath() + QStringLiteral("/.config/Verbolt.ini"));
}

TEST_F(UiFixture, FirstSaveWritesAllFourKeys)
{
    ASSERT_TRUE(start());

    window->Command1->click();

    EXPECT_EQ(readIni(), "[SETTINGS]\nTextFrom=English\nTextTo=German\nUseTr=0\nTimeStamp=0\n");
    EXPECT_TRUE(notices.isEmpty());
    EXPECT_EQ(window->focusWidget(), window->txtInput);
}

struct CheckValueCase {
    QByteArray stored;
    int loaded;
};

class CheckValue : public UiFixture, public ::testing::WithParamInterface<CheckValueCase>
{
};

TEST_P(CheckValue, Loads)
{
    writeIni("[SETTINGS]\nusetr=" + GetParam().stored + "\nTIMESTAMP=" + GetParam().stored + "\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(window->UseTr->value(), GetParam().loaded);
    EXPECT_EQ(window->TimeStamp->value(), GetParam().loaded);
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckValue,
    ::testing::Values(CheckValueCase{"0", 0}, CheckValueCase{"1", 1}, CheckValueCase{"2", 2}, CheckValueCase{" 1 ", 1},
        CheckValueCase{"3", 0}, CheckValueCase{"-1", 0}, CheckValueCase{"x", 0}, CheckValueCase{"", 0}));

TEST_F(UiFixture, GreyedBoxIsSavedAsTwoUntilClicked)
{
    writeIni("[SETTINGS]\nUseTr=2\nTimeStamp=2\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(window->UseTr->checkState(), Qt::PartiallyChecked);

    window->TimeStamp->click();
    window->Timer1_Timer();
    window->Command1->click();

    EXPECT_EQ(ReadWriteIni::read("SETTINGS", "UseTr", "", iniPath()), QStringLiteral("2"));
    EXPECT_EQ(ReadWriteIni::read("SETTINGS", "TimeStamp", "", iniPath()), QStringLiteral("1"));
}

TEST_F(UiFixture, CheckBoxesReachTheFileOnlyAtTheNextTick)
{
    ASSERT_TRUE(start());
    EXPECT_TRUE(window->Timer1->isActive());
    EXPECT_EQ(window->Timer1->interval(), 300);

    window->UseTr->click();
    window->Command1->click();
    EXPECT_EQ(ReadWriteIni::read("SETTINGS", "UseTr", "", iniPath()), QStringLiteral("0"));

    window->Timer1_Timer();
    window->Command1->click();
    EXPECT_EQ(ReadWriteIni::read("SETTINGS", "UseTr", "", iniPath()), QStringLiteral("1"));
}

TEST_F(UiFixture, TimerTicksOnItsOwn)
{
    ASSERT_TRUE(start());
    window->TimeStamp->click();

    waitUntil([&] { return window->Text3 == u"1"; });

    EXPECT_EQ(window->Text3, QStringLiteral("1"));
}

TEST_F(UiFixture, TypedNamesComeBackAsTypedAndKeepTheRestOfTheFile)
{
    writeIni("; kept\n[SETTINGS]\nServiceHost=127.0.0.1:2738\nTextFrom=Espa\xf1ol\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(window->comFrom->currentText(), QStringLiteral("Espa\u00f1ol"));
    window->comFrom->setEditText(QStringLiteral("Klingon"));
    window->comLan->setEditText(QStringLiteral("portuguese"));
    window->Command1->click();
    window.reset();

    ASSERT_TRUE(start());

    EXPECT_EQ(window->comFrom->currentText(), QStringLiteral("Klingon"));
    EXPECT_EQ(window->comLan->currentText(), QStringLiteral("portuguese"));
    EXPECT_EQ(window->TextFrom, QStringLiteral("Klingon"));
    EXPECT_EQ(readIni(),
        "; kept\n[SETTINGS]\nServiceHost=127.0.0.1:2738\nTextFrom=Klingon\nTextTo=portuguese\n"
        "UseTr=0\nTimeStamp=0\n");
}

TEST_F(UiFixture, LongNameLoadsCutTo255)
{
    writeIni("[SETTINGS]\nTextFrom=" + QByteArray(256, 'k') + "\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(window->comFrom->currentText(), QString(255, u'k'));
}

TEST_F(UiFixture, SaveIntoAFolderThatIsAFileFailsVisibly)
{
    QTemporaryDir other;
    const QString notAFolder = other.path() + QStringLiteral("/plain-file");
    {
        QFile file(notAFolder);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a folder");
    }
    qputenv("XDG_CONFIG_HOME", notAFolder.toUtf8());
    ASSERT_TRUE(start());

    window->Command1->click();

    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith(
        QStringLiteral("The settings could not be saved in ") + notAFolder + QStringLiteral("/Verbolt.ini: ")))
        << notices[0];
    QFile file(notAFolder);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "not a folder");
}

TEST_F(UiFixture, SaveOverAFolderFailsVisiblyAndLeavesItAlone)
{
    ASSERT_TRUE(QDir().mkpath(iniPath() + QStringLiteral("/inside")));
    ASSERT_TRUE(start());

    window->Command1->click();

    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith(QStringLiteral("The settings could not be saved in "))) << notices[0];
    EXPECT_TRUE(QFileInfo(iniPath() + QStringLiteral("/inside")).isDir());
    EXPECT_EQ(QDir(iniPath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"inside"});
}

} // namespace
