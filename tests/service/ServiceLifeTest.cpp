// The real verbolt-service through what a user's machine does to it: its settings file replaced by a FIFO or a
// link to a device (refused at start and on a reload, never read), SIGHUP (the settings read again, as a reload
// does), and two services started at once for one socket, by hand or by systemd (one serves, the other ends).
#include "RealService.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace servicetest;

namespace {

enum class Put { Fifo, LinkToDevZero, GoodFile };

struct Replaced {
    const char* name;
    Put put;
    QString reason; ///< {path}: the settings file; empty: it is taken
};

void PrintTo(const Replaced& c, std::ostream* os)
{
    *os << c.name;
}

bool put(Put what, const QString& path)
{
    QFile::remove(path);
    switch (what) {
    case Put::Fifo: return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case Put::LinkToDevZero: return QFile::link(u"/dev/zero"_qs, path);
    case Put::GoodFile: break;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && file.write("[routing]\ntimeout=5\n") > 0;
}

const Replaced kReplaced[] = {
    {"fifo", Put::Fifo, u"{path} is not a regular file but a FIFO"_qs},
    {"linkToDevZero", Put::LinkToDevZero, u"{path} is not a regular file but a device"_qs},
    {"goodFile", Put::GoodFile, {}},
};

class SettingsFile : public ::testing::TestWithParam<Replaced>
{
protected:
    QTemporaryDir runtime;
    QString socket() const { return runtime.filePath(u"verbolt/service.sock"_qs); }
};

} // namespace

TEST_P(SettingsFile, isTakenAtStartOrRefusedWithTheReason)
{
    const Replaced& c = GetParam();
    RealService service;
    ASSERT_TRUE(put(c.put, service.configPath()));
    const bool listens = service.start({u"--listen"_qs, socket()});
    if (c.reason.isEmpty()) {
        EXPECT_TRUE(listens) << service.child().describe();
        service.stop();
        return;
    }
    EXPECT_FALSE(listens);
    EXPECT_EQ(service.waitEnded(), 2);
    EXPECT_TRUE(service.child().err().contains(QString(c.reason).replace(u"{path}"_qs, service.configPath()).toUtf8()))
        << service.child().describe();
}

TEST_P(SettingsFile, isReadAgainOnReloadAndOnSighupOrRefusedWithTheReason)
{
    const Replaced& c = GetParam();
    RealService service;
    ASSERT_TRUE(service.start({u"--listen"_qs, socket()})) << service.child().describe();
    ASSERT_TRUE(put(c.put, service.configPath()));
    const QString reason = QString(c.reason).replace(u"{path}"_qs, service.configPath());

    LocalExchange reload(socket(), "POST /verbolt/reload HTTP/1.1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    ASSERT_TRUE(reload.waitClosed()) << service.child().describe();
    const QByteArray body = reload.received().mid(reload.received().indexOf("\r\n\r\n") + 4);
    if (reason.isEmpty()) {
        EXPECT_EQ(reload.status(), 200) << reload.received();
    } else {
        EXPECT_EQ(reload.status(), 400) << reload.received();
        EXPECT_EQ(QJsonDocument::fromJson(body).object().value(u"reason"_qs).toString(), reason) << body;
    }

    // What `systemctl --user reload` sends: the same reading, said in the log; the service goes on.
    const QByteArray before = service.child().err();
    ASSERT_EQ(::kill(pid_t(service.child().process().processId()), SIGHUP), 0);
    const QByteArray said = reason.isEmpty() ? QByteArray("settings read again")
                                             : ("settings not taken, the old ones stay: " + reason).toUtf8();
    EXPECT_TRUE(waitUntil([&] {
        return service.child().err().mid(before.size()).contains(said) || service.child().ended();
    })) << service.child().describe();
    EXPECT_TRUE(service.child().err().mid(before.size()).contains("SIGHUP: reading the settings again"));

    LocalExchange translation(socket(), get(kTranslateTarget));
    ASSERT_TRUE(translation.waitClosed()) << service.child().describe();
    EXPECT_EQ(translation.status(), 200) << translation.received();
    EXPECT_FALSE(service.child().ended()) << service.child().describe();
    service.stop();
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsFile, ::testing::ValuesIn(kReplaced), CaseName());

namespace {

enum class Second { ByHand, BySystemd };

struct Race {
    const char* name;
    Second second;
};

void PrintTo(const Race& c, std::ostream* os)
{
    *os << c.name;
}

// The log line of a translation served.
const QByteArray kServed = "local GET /ajax/services/language/translate en|de 200 ";

const Race kRaces[] = {{"twoByHandAtOnce", Second::ByHand}, {"systemdsSocketAfterOneByHand", Second::BySystemd}};

class TwoServices : public ::testing::TestWithParam<Race>
{
};

} // namespace

TEST_P(TwoServices, oneServesTheSocketAndTheOtherEndsSayingSo)
{
    const Race& c = GetParam();
    QTemporaryDir runtime;
    const QString socket = runtime.filePath(u"verbolt/service.sock"_qs);
    RealService first;
    RealService second;
    if (c.second == Second::ByHand) {
        first.launch({u"--listen"_qs, socket});
        second.launch({u"--listen"_qs, socket});
        first.waitListening();
        second.waitListening();
        ASSERT_TRUE(waitUntil([&] { return first.child().ended() || second.child().ended(); }));
        RealService& loser = first.child().ended() ? first : second;
        RealService& winner = first.child().ended() ? second : first;
        EXPECT_EQ(loser.waitEnded(), 3);
        // The pid is there once the winner has written it into the lock, a moment after taking it.
        const QString said = QString::fromUtf8(loser.child().err());
        EXPECT_TRUE(said.contains(u"already answers on %1 (it holds %1.lock); this one ends"_qs.arg(socket))) << said;
        EXPECT_TRUE(!said.contains(u"(pid "_qs)
            || said.contains(u"verbolt-service (pid %1)"_qs.arg(winner.child().process().processId())))
            << said;
        LocalExchange translation(socket, get(kTranslateTarget));
        ASSERT_TRUE(translation.waitClosed());
        EXPECT_EQ(translation.status(), 200) << translation.received();
        EXPECT_TRUE(waitUntil([&] { return winner.child().err().contains(kServed); })) << winner.child().describe();
        EXPECT_FALSE(winner.child().ended());
        return;
    }

    // Started by hand first; then systemd's socket unit starts and binds the path anew (as systemd does, over
    // what is there), and its first connection starts the second with that socket in hand.
    const QString activate = QStandardPaths::findExecutable(u"systemd-socket-activate"_qs);
    if (activate.isEmpty())
        GTEST_SKIP() << "systemd-socket-activate is missing (scripts/setup.sh installs it)";
    ASSERT_TRUE(first.start({u"--listen"_qs, socket})) << first.child().describe();
    second.launch({}, QProcessEnvironment::systemEnvironment(), {activate, u"--listen"_qs, socket});
    ASSERT_TRUE(waitUntil([&] { return second.child().err().contains("Listening on") || second.child().ended(); }))
        << second.child().describe();
    LocalExchange translation(socket, get(kTranslateTarget));
    ASSERT_TRUE(translation.waitClosed(std::chrono::seconds(20))) << second.child().describe();
    EXPECT_EQ(translation.status(), 200) << translation.received() << second.child().describe();
    EXPECT_TRUE(waitUntil([&] { return second.child().err().contains(kServed); })) << second.child().describe();
    // The one by hand is on a socket nobody reaches any more: it has given way.
    EXPECT_EQ(first.waitEnded(), 3);
    EXPECT_TRUE(
        first.child().err().contains(QStringLiteral("the socket %1 is no longer this service's").arg(socket).toUtf8()))
        << first.child().describe();
    EXPECT_FALSE(second.child().ended()) << second.child().describe();
    second.stop();
}

INSTANTIATE_TEST_SUITE_P(Cases, TwoServices, ::testing::ValuesIn(kRaces), CaseName());
