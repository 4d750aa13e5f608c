// The transcript: every piece the pane shows, as shown, in the file of the day, whatever happens to the pane.
#include "UiFixture.h"

#include <QDir>
#include <QFileInfo>

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

TEST_F(TranscriptFile, ThatCannotBeWrittenGivesOneNoticeAndTheConversationGoesOn)
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

    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith(QStringLiteral("The conversation cannot be kept in "))) << notices[0];
    EXPECT_EQ(window->Text1->text(), QStringLiteral("one\r\none!\r\ntwo\r\ntwo!\r\nthree\r\nthree!\r\n"));
}

} // namespace
