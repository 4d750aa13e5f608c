// scripts/demo.sh, the README's first command: it tells a machine without a display how to run it before building
// anything, and on a virtual X server it plays a conversation with the real programs and keeps screenshots.
#include "ProgramRun.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

const QString kDemo = QStringLiteral(VERBOLT_SOURCE_DIR "/scripts/demo.sh");

TEST(DemoScript, WithoutDisplaySaysHowToRunItBeforeBuilding)
{
    // Stand-ins for the setup and build tools note that they were called.
    QTemporaryDir tools;
    ASSERT_TRUE(tools.isValid());
    const QString called = tools.filePath(QStringLiteral("called"));
    for (const char* name : {"apt-get", "sudo", "dpkg-query", "cmake"}) {
        QFile tool(tools.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
        tool.write("#!/bin/sh\necho \"$0\" >>'" + called.toUtf8() + "'\nexit 1\n");
        tool.setPermissions(tool.permissions() | QFileDevice::ExeOwner);
    }
    QProcessEnvironment environment = disttest::withoutDisplayOrBus();
    environment.insert(QStringLiteral("PATH"), tools.path() + u':' + environment.value(QStringLiteral("PATH")));

    const auto run = disttest::runProgram(kDemo, {}, environment);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_TRUE(run.err.contains("xvfb-run -a")) << run.err;
    EXPECT_FALSE(QFile::exists(called)) << "called before the display check";
}

TEST(DemoScript, OnVirtualDisplayPlaysTheConversationAndKeepsScreenshots)
{
    // This test runs under xvfb-run: the demo must notice that nobody sees the window.
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"));
    const QString shots = QStringLiteral(VERBOLT_ARTIFACT_DIR "/demo");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("VERBOLT_DEMO_BIN"), QStringLiteral(VERBOLT_BUILD_DIR));
    environment.insert(QStringLiteral("VERBOLT_DEMO_SHOTS"), shots);
    environment.insert(QStringLiteral("VERBOLT_DEMO_PORT"), QString::number(disttest::freeLoopbackPort()));

    const auto run = disttest::runProgram(kDemo, {}, environment, 300s);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The first typed line is two QSO formulas: the phrasebook's, as the partner received it.
    EXPECT_TRUE(run.err.contains("sent:   Buenos d\xc3\xad"
                                 "as. Me llamo John."))
        << run.err;
    const QStringList pictures = QDir(shots).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    ASSERT_EQ(pictures.size(), 5) << pictures.join(u' ');
    for (const QString& name : pictures) {
        QFile picture(QDir(shots).filePath(name));
        ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
        EXPECT_TRUE(picture.read(8).startsWith("\x89PNG")) << name;
    }
}

} // namespace
