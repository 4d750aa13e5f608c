// Every program the build installs is named in the AppStream metainfo, so that software centres and
// "which package provides this command" find it.
#include "QtPrinters.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The programs installed into bin/ by the build files of the source tree (tests and benchmarks install none).
QStringList installedPrograms()
{
    static const QRegularExpression install(u"install\\(TARGETS\\s+(verbolt[\\w-]*)\\s+RUNTIME"_s);
    QStringList programs;
    const QString source = QStringLiteral(VERBOLT_SOURCE_DIR);
    QDirIterator it(source, {u"CMakeLists.txt"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(source.size() + 1);
        if (relative.startsWith(u"build"_s) || relative.startsWith(u"tests/"_s) || relative.startsWith(u"bench/"_s))
            continue;
        for (auto match = install.globalMatch(readText(path)); match.hasNext();)
            programs.append(match.next().captured(1));
    }
    programs.sort();
    return programs;
}

TEST(Metainfo, NamesEveryInstalledProgram)
{
    const QString metainfo = readText(QStringLiteral(VERBOLT_SOURCE_DIR "/dist/org.verbolt.Verbolt.metainfo.xml"));
    ASSERT_FALSE(metainfo.isEmpty());
    const QStringList programs = installedPrograms();
    // The window, the service and the bridges at least.
    EXPECT_GE(programs.size(), 6) << programs.join(u' ').toStdString();
    for (const QString& program : programs)
        EXPECT_TRUE(metainfo.contains(u"<binary>%1</binary>"_s.arg(program))) << program.toStdString();
}

} // namespace
