// verbolt-service.conf edited by the engines dialog: every line it does not set stays, and what it sets reads
// back in the service's own reader (QSettings' INI format) exactly as typed.
#include "ServiceConfFile.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The value as verbolt-service reads it.
QString serviceReads(const QString& path, const QString& section, const QString& key)
{
    QSettings settings(path, QSettings::IniFormat);
    const QVariant value = settings.value(section + u'/' + key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',').trimmed();
    return value.toString().trimmed();
}

struct EditCase {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

void PrintTo(const EditCase& c, std::ostream* os)
{
    *os << c.name;
}

class ServiceConfEdit : public testing::TestWithParam<EditCase>
{
protected:
    QTemporaryDir m_dir;
};

TEST_P(ServiceConfEdit, ChangesOneValueAndKeepsEverythingElse)
{
    const EditCase& c = GetParam();
    const QString path = m_dir.filePath(QStringLiteral("verbolt-service.conf"));
    if (c.before)
        writeFile(path, c.before);
    ServiceConfFile file;
    ASSERT_TRUE(file.load(path));
    const QString section = QString::fromUtf8(c.section);
    const QString key = QString::fromUtf8(c.key);
    const QString value = QString::fromUtf8(c.value);

    file.setValue(section, key, value);
    ASSERT_TRUE(file.save());

    EXPECT_EQ(readFile(path), QByteArray(c.after));
    EXPECT_EQ(serviceReads(path, section, key), value);
    ServiceConfFile again;
    ASSERT_TRUE(again.load(path));
    EXPECT_EQ(again.value(section, key), value);
}

INSTANTIATE_TEST_SUITE_P(Cases, ServiceConfEdit,
    testing::Values(EditCase{"NoFile", nullptr, "deepl", "key", "abc:fx", "[deepl]\nkey=abc:fx\n"},
        EditCase{"ReplacesKeepingTheComment",
            "; my engines\n[routing]\norder=apertium,deepl   ; tried first\n\n[deepl]\nkey=old\n", "routing", "order",
            "deepl,apertium",
            "; my engines\n[routing]\norder=\"deepl,apertium\"   ; tried first\n\n[deepl]\nkey=old\n"},
        EditCase{"NewKeyAfterTheSectionsLastLine",
            "[llm]\nurl=http://localhost:11434\ntemperature=0.2\n\n; other\n[google]\nkey=g\n", "llm", "model",
            "llama3.1:8b",
            "[llm]\nurl=http://localhost:11434\ntemperature=0.2\nmodel=llama3.1:8b\n\n; other\n[google]\nkey=g\n"},
        EditCase{"NewSectionAtTheEnd", "[deepl]\nkey=k\nunknown=kept", "mymemory", "email", "op@example.org",
            "[deepl]\nkey=k\nunknown=kept\n\n[mymemory]\nemail=op@example.org\n"},
        EditCase{"SemicolonIsQuoted", "[llm]\nkey=a\n", "llm", "key", "sk;123", "[llm]\nkey=\"sk;123\"\n"},
        EditCase{"QuoteAndBackslashEscaped", "[llm]\n", "llm", "key", "a\"b\\c", "[llm]\nkey=\"a\\\"b\\\\c\"\n"},
        EditCase{"LeadingAtDoubled", "[llm]\n", "llm", "key", "@secret", "[llm]\nkey=@@secret\n"},
        EditCase{"EmptyValue", "[google]\nkey=abc ; mine\n", "google", "key", "", "[google]\nkey= ; mine\n"},
        EditCase{"CrLfFileStaysCrLf", "[deepl]\r\nkey=a\r\n", "deepl", "url", "http://127.0.0.1:9/",
            "[deepl]\r\nkey=a\r\nurl=http://127.0.0.1:9/\r\n"},
        EditCase{"LastOfTwoLinesIsTheOneRead", "[deepl]\nkey=first\nkey=second\n", "deepl", "key", "third",
            "[deepl]\nkey=first\nkey=third\n"}),
    CaseName());

TEST(ServiceConfSave, IsReadableByItsOwnerAloneAndLeavesTheOldFileOnFailure)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config/verbolt-service.conf"));
    ServiceConfFile file;
    ASSERT_TRUE(file.load(path));
    file.setValue(QStringLiteral("deepl"), QStringLiteral("key"), QStringLiteral("k1"));
    ASSERT_TRUE(file.save());
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_FALSE(QFile::permissions(path) & others);
    EXPECT_TRUE(QFile::permissions(path) & QFileDevice::WriteOwner);

    // A file others could read comes back closed.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    file.setValue(QStringLiteral("deepl"), QStringLiteral("key"), QStringLiteral("k2"));
    ASSERT_TRUE(file.save());
    EXPECT_FALSE(QFile::permissions(path) & others);
    EXPECT_EQ(readFile(path), "[deepl]\nkey=k2\n");

    // Nothing can replace a folder: the save fails with a reason and leaves no half-written file beside it.
    const QString folder = dir.filePath(QStringLiteral("taken"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ServiceConfFile blocked;
    blocked.load(folder);
    blocked.setValue(QStringLiteral("deepl"), QStringLiteral("key"), QStringLiteral("k3"));
    QString why;
    EXPECT_FALSE(blocked.save(&why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// A relative XDG_CONFIG_HOME is ignored, as verbolt-service ignores it: the dialog edits the file the service reads.
TEST(ServiceConfFileDefault, IgnoresARelativeConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(ServiceConfFile::defaultPath(), QDir::homePath() + QStringLiteral("/.config/verbolt-service.conf"));
    if (wasSet)
        qputenv("XDG_CONFIG_HOME", saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
