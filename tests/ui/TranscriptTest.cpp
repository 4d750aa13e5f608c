// The transcript: every piece the pane shows, as shown, in the file of the day, whatever happens to the pane.
#include "UiFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class TranscriptFile : public UiFixture
{
protected:
    QString dayFile(const char* day) const { return stateHome() + QStringLiteral("/verbolt/") + day + ".txt"; }
};

TEST_F(TranscriptFile, KeepsWhatThePaneShowsDayByDayAndOutlivesClearingIt)
{
    translate = [](const QString& text) -> QString {
        if (text.startsWith(u"EA1ABC~"))
            return QStringLiteral("EA1ABC~x &lt;br&gt;y");
        return text == u"73" ? text : text + u'!';
    };
    startWith(QStringLiteral("English"), QStringLiteral("German"), 1);
    window->txtInput->setText(QStringLiteral("hello"));
    pressEnter();
    host->receive(QStringLiteral("EA1ABC>a\rb"));
    host->receive(QStringLiteral("73"));
    settle();
    window->Command2->click();
    date = date.addDays(1);
    host->receive(QStringLiteral("next day"));
    settle();

    EXPECT_EQ(contents(dayFile("2026-12-08")),
        QByteArray("EA1XYZ>>hello\nEA1XYZ>< hello!\nEA1ABC<<a\nb\nEA1ABC<< x\ny\n73\n")
            + ">!! not translated: the translation service gave the text back unchanged\n");
    EXPECT_EQ(contents(dayFile("2026-12-09")), QByteArray("next day\nnext day!\n"));
    EXPECT_TRUE(notices.size() == 1) << notices.join(u'\n');
}

// Modes as the owner sees them; 0755 and 0644 are what an older run left.
QFile::Permissions mode(const QString& path)
{
    return QFileInfo(path).permissions() & ~QFile::Permissions(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
}

TEST_F(TranscriptFile, IsTheOwnersAloneNewOrLeftOpenByAnOlderRun)
{
    const QString folder = stateHome() + QStringLiteral("/verbolt");
    for (const bool older : {false, true}) {
        if (older) {
            ASSERT_TRUE(QFile::setPermissions(folder, QFile::Permissions(0x7755)));
            ASSERT_TRUE(QFile::setPermissions(dayFile("2026-12-08"), QFile::Permissions(0x6644)));
        }
        translate = [](const QString& text) { return text + u'!'; };
        startWith(QStringLiteral("English"), QStringLiteral("German"));
        host->receive(QStringLiteral("hola"));
        settle();
        EXPECT_EQ(mode(folder), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) << older;
        EXPECT_EQ(mode(dayFile("2026-12-08")), QFile::ReadOwner | QFile::WriteOwner) << older;
    }
    EXPECT_EQ(contents(dayFile("2026-12-08")), QByteArray("hola\nhola!\nhola\nhola!\n"));
    EXPECT_TRUE(notices.isEmpty()) << notices.join(u'\n');
}

TEST_F(TranscriptFile, IsNotKeptWhenTurnedOff)
{
    writeIni("[SETTINGS]\nTranscript=0\n");
    translate = [](const QString& text) { return text + u'!'; };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    host->receive(QStringLiteral("hola"));
    settle();

    EXPECT_EQ(window->Text1->text(), QStringLiteral("hola\r\nhola!\r\n"));
    EXPECT_FALSE(QFileInfo::exists(stateHome() + QStringLiteral("/verbolt")));
}

TEST_F(TranscriptFile, ThatCannotBeWrittenIsSaidOnceInThePaneAndTheConversationGoesOn)
{
    // A plain file where the folder should be.
    QFile blocker(stateHome() + QStringLiteral("/verbolt"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    translate = [](const QString& text) { return text + u'!'; };
    startWith(QStringLiteral("English"), QStringLiteral("German"));

    for (const char* text : {"one", "two", "three"})
        host->receive(QString::fromLatin1(text));
    settle();

    EXPECT_EQ(window->Text1->text(),
        QStringLiteral("one\r\n>!! no transcript today: %1 is not a folder (a link to one is not taken)\r\n"
                       "one!\r\ntwo\r\ntwo!\r\nthree\r\nthree!\r\n")
            .arg(stateHome() + QStringLiteral("/verbolt")));
    EXPECT_TRUE(notices.isEmpty()) << notices.join(u'\n');
}

// What another user may have left when an older run kept the folder open to all (0777), or when the state folder
// itself is shared: each is refused, the file it points at is left alone, and the pane says so once.
struct HostileCase {
    const char* name;
    // Run in the state folder by another user (nobody) when asOther, else by the user. With sharedState the state
    // folder is open to all and holds no transcript folder yet; else it holds the transcript's "verbolt", 0777.
    // "victim" there is a file of the user's that must not change.
    const char* shell;
    bool asOther;
    bool sharedState;
    const char* reason; // %1: the transcript folder
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.name;
}

class HostileTranscript : public TranscriptFile, public ::testing::WithParamInterface<HostileCase>
{
};

int runShell(const QString& folder, const QString& command, bool asOther)
{
    QProcess shell;
    shell.setWorkingDirectory(folder);
    const QStringList sh{QStringLiteral("sh"), QStringLiteral("-ec"), command};
    if (asOther) {
        shell.start(QStringLiteral("setpriv"),
            QStringList{
                QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups")}
                + sh);
    } else {
        shell.start(sh[0], sh.mid(1));
    }
    if (!shell.waitForFinished(30000))
        return -1;
    return shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1;
}

TEST_P(HostileTranscript, IsRefusedForTheDayAndSaidOnce)
{
    const HostileCase& c = GetParam();
    if (c.asOther && (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()))
        GTEST_SKIP() << "acting as another user needs root and setpriv";
    const QString state = stateHome();
    const QString folder = state + QStringLiteral("/verbolt");
    const QByteArray bashrc = "# the user's own\n";
    {
        QFile victim(state + QStringLiteral("/victim"));
        ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
        victim.write(bashrc);
    }
    if (c.sharedState) {
        ASSERT_EQ(runShell(state, QStringLiteral("chmod 1777 ."), false), 0);
    } else {
        ASSERT_EQ(runShell(state, QStringLiteral("chmod 755 . && mkdir verbolt && chmod 777 verbolt"), false), 0);
    }
    ASSERT_EQ(runShell(state, QString::fromUtf8(c.shell), c.asOther), 0) << c.shell;
    const QFile::Permissions before = QFileInfo(folder).permissions();

    translate = [](const QString& text) { return text + u'!'; };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    for (const char* text : {"x; touch PWNED; #", "two", "three"})
        host->receive(QString::fromLatin1(text));
    settle();

    const QString pane = window->Text1->text();
    EXPECT_EQ(pane.count(QStringLiteral(">!! ")), 1) << pane;
    EXPECT_TRUE(pane.contains(
        QStringLiteral(">!! no transcript today: ") + QString::fromUtf8(c.reason).arg(folder) + QStringLiteral("\r\n")))
        << pane;
    EXPECT_TRUE(pane.endsWith(QStringLiteral("three\r\nthree!\r\n"))) << pane;
    EXPECT_EQ(contents(state + QStringLiteral("/victim")), bashrc);
    EXPECT_TRUE(notices.isEmpty()) << notices.join(u'\n');
    // Another user's folder is not made private on their behalf; the user's own is.
    if (c.sharedState) {
        EXPECT_EQ(QFileInfo(folder).permissions(), before);
    } else {
        EXPECT_EQ(mode(folder), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The next day is tried afresh: once the folder is the user's own again, the transcript is kept.
    ASSERT_EQ(runShell(state, QStringLiteral("rm -rf verbolt"), false), 0);
    date = date.addDays(1);
    host->receive(QStringLiteral("next day"));
    settle();
    EXPECT_EQ(contents(dayFile("2026-12-09")), QByteArray("next day\nnext day!\n"));
}

INSTANTIATE_TEST_SUITE_P(LeftByAnotherUser, HostileTranscript,
    ::testing::Values(HostileCase{"LinkToTheUsersFile", "ln -s ../victim verbolt/2026-12-08.txt", true, false,
                          "%1/2026-12-08.txt is a link, which is not followed"},
        HostileCase{"DanglingLink", "ln -s ../made-through-the-link verbolt/2026-12-08.txt", true, false,
            "%1/2026-12-08.txt is a link, which is not followed"},
        HostileCase{"FileOfTheirs", "echo planted > verbolt/2026-12-08.txt", true, false,
            "%1/2026-12-08.txt belongs to another user (uid 65534)"},
        HostileCase{"Pipe", "mkfifo verbolt/2026-12-08.txt", true, false, "%1/2026-12-08.txt is not a regular file"},
        // Hard links to another user's file are not allowed (protected_hardlinks); the user's own can be made.
        HostileCase{"HardLinkToTheUsersFile", "ln victim verbolt/2026-12-08.txt", false, false,
            "%1/2026-12-08.txt has other names (2 links to it)"},
        HostileCase{
            "FolderOfTheirs", "mkdir -m 777 verbolt", true, true, "the folder %1 belongs to another user (uid 65534)"},
        HostileCase{"FolderIsALink", "mkdir -m 777 elsewhere && ln -s elsewhere verbolt", true, true,
            "%1 is not a folder (a link to one is not taken)"}),
    CaseName());

} // namespace
