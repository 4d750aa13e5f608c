#include "DBusChatHost.h"
#include "HostProcess.h"
#include "QtPrinters.h"
#include "SignalBarrier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <optional>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// What the window would see of the host: chat texts and closings, in the order they came.
struct Events {
    explicit Events(ChatHost& host)
    {
        QObject::connect(&host, &ChatHost::chatTextReceived, &host, [this](const QString& text) {
            log.push_back(text);
            texts.push_back(text);
        });
        QObject::connect(&host, &ChatHost::closing, &host, [this] {
            log.push_back(QStringLiteral("<closing>"));
            ++closings;
        });
    }
    std::vector<QString> log;
    std::vector<QString> texts;
    int closings = 0;
};

std::unique_ptr<ChatHost> attach()
{
    QString why;
    std::unique_ptr<ChatHost> host = DBusChatHost::create(&why);
    EXPECT_NE(host, nullptr) << why.toStdString();
    return host;
}

// The outcome of one send, once the host has answered.
std::optional<bool> send(ChatHost& host, const QString& text)
{
    std::optional<bool> delivered;
    host.sendChatText(text, [&](bool ok) { delivered = ok; });
    waitUntil([&] { return delivered.has_value(); }, 30s);
    return delivered;
}

void report(const char* what, qint64 ms)
{
    ::testing::Test::RecordProperty(what, static_cast<int>(ms));
    std::cout << "[ measured ] " << what << ": " << ms << " ms\n";
}

} // namespace

// --- Attaching -------------------------------------------------------------------------------------------------

struct MissingHostCase {
    const char* name;
    bool withBus;
    const char* reasonMentions;
    friend void PrintTo(const MissingHostCase& c, std::ostream* os) { *os << c.name; }
};

class MissingHost : public ::testing::TestWithParam<MissingHostCase>
{
};

TEST_P(MissingHost, FailsAtOnceAndSaysWhy)
{
    const MissingHostCase& c = GetParam();
    QDBusConnection bus = c.withBus
        ? QDBusConnection::sessionBus()
        : QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/verbolt-bus"), QStringLiteral("verbolt-no-bus"));
    QString why;
    QElapsedTimer clock;
    clock.start();
    const std::unique_ptr<ChatHost> host = DBusChatHost::create(bus, &why);
    const qint64 elapsed = clock.elapsed();
    report(c.name, elapsed);

    EXPECT_EQ(host, nullptr);
    EXPECT_TRUE(why.contains(QLatin1String(c.reasonMentions))) << why;
    // Guards against waiting out the bus's 25-second default (a loaded machine may be slow), not a benchmark.
    EXPECT_LT(elapsed, 5000);
    if (!c.withBus)
        QDBusConnection::disconnectFromBus(QStringLiteral("verbolt-no-bus"));
}

INSTANTIATE_TEST_SUITE_P(Host, MissingHost,
    ::testing::Values(MissingHostCase{"NoOwnerOfTheName", true, "org.verbolt.ChatHost"},
        MissingHostCase{"NoSessionBus", false, "no session bus"}),
    CaseName());

TEST(HostAttach, DoesNotWaitOnAFrozenHost)
{
    HostProcess process;
    ASSERT_TRUE(process.waitReady()) << process.standardError().toStdString();
    process.signal(SIGSTOP);

    QString why;
    QElapsedTimer clock;
    clock.start();
    const std::unique_ptr<ChatHost> host = DBusChatHost::create(&why);
    const qint64 elapsed = clock.elapsed();
    process.signal(SIGCONT);
    report("AttachToFrozenHost", elapsed);

    EXPECT_NE(host, nullptr) << why;
    EXPECT_LT(elapsed, 5000);
}

// --- Callsign --------------------------------------------------------------------------------------------------

struct CallsignCase {
    const char* name;
    QStringList options;
    QString expected;
    friend void PrintTo(const CallsignCase& c, std::ostream* os) { *os << c.name; }
};

class Callsign : public ::testing::TestWithParam<CallsignCase>
{
};

TEST_P(Callsign, IsReadFromTheStationInformationAtEachUse)
{
    HostProcess process(GetParam().options);
    ASSERT_TRUE(process.waitReady()) << process.standardError().toStdString();
    const std::unique_ptr<ChatHost> host = attach();
    ASSERT_NE(host, nullptr);

    EXPECT_EQ(host->callsign(), std::optional<QString>(GetParam().expected)) << host->errorString();
    host->applyCallSettings();
    EXPECT_EQ(host->callsign(), std::optional<QString>(GetParam().expected)) << host->errorString();

    std::optional<std::optional<QString>> requested;
    host->requestCallsign([&](const std::optional<QString>& call) { requested = call; });
    EXPECT_FALSE(requested.has_value()) << "answered inside the call";
    ASSERT_TRUE(waitUntil([&] { return requested.has_value(); }));
    EXPECT_EQ(*requested, std::optional<QString>(GetParam().expected)) << host->errorString();
}

INSTANTIATE_TEST_SUITE_P(Host, Callsign,
    ::testing::Values(CallsignCase{"Default", {}, QStringLiteral("N0CALL")},
        CallsignCase{"Given", {QStringLiteral("--callsign"), QStringLiteral("DL1ABC")}, QStringLiteral("DL1ABC")},
        CallsignCase{"NonAscii", {QStringLiteral("--callsign"), QStringLiteral("ÖH2Ж/日")}, QStringLiteral("ÖH2Ж/日")}),
    CaseName());

// --- Sending ---------------------------------------------------------------------------------------------------

struct SendCase {
    const char* name;
    QString text;
    QByteArray shown;
    friend void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }
};

class SendChatText : public ::testing::TestWithParam<SendCase>
{
};

TEST_P(SendChatText, ArrivesAtTheHostByteForByte)
{
    HostProcess process;
    ASSERT_TRUE(process.waitReady()) << process.standardError().toStdString();
    const std::unique_ptr<ChatHost> host = attach();
    ASSERT_NE(host, nullptr);

    host->applyCallSettings();
    ASSERT_EQ(send(*host, GetParam().text), std::optional<bool>(true)) << host->errorString();
    EXPECT_EQ(process.nextOutputLine(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Host, SendChatText,
    ::testing::Values(SendCase{"Plain", QStringLiteral("hello there"), "hello there"},
        SendCase{"Utf8", QStringLiteral("Grüße, ñandú — 日本語 🙂"),
            "Gr\xC3\xBC\xC3\x9F"
            "e, \xC3\xB1"
            "and\xC3\xBA \xE2\x80\x94 "
            "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x99\x82"},
        SendCase{"CrLfInside", QStringLiteral("line one\r\nline two\rthree\n"), "line one\\r\\nline two\\rthree\\n"},
        SendCase{"Backslashes", QStringLiteral("C:\\dir\\r.txt \\"), "C:\\\\dir\\\\r.txt \\\\"},
        SendCase{"Markers", QStringLiteral("*** Dolmex    v1.0 CALL>hi <<x ~"), "*** Dolmex    v1.0 CALL>hi <<x ~"},
        SendCase{"Empty", QString(), ""}),
    CaseName());

// --- Receiving -------------------------------------------------------------------------------------------------

struct InputCase {
    const char* name;
    QStringList options;
    QByteArray input;
    std::vector<QString> texts;
    friend void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }
};

class HostInput : public ::testing::TestWithParam<InputCase>
{
};

TEST_P(HostInput, ArrivesAsChatTextsThenClosingWhenInputEnds)
{
    const InputCase& c = GetParam();
    HostProcess process(c.options);
    ASSERT_TRUE(process.waitReady()) << process.standardError().toStdString();
    const std::unique_ptr<ChatHost> host = attach();
    ASSERT_NE(host, nullptr);
    Events events(*host);

    process.write(c.input);
    process.closeInput();
    ASSERT_TRUE(waitUntil([&] { return events.closings > 0; }));

    std::vector<QString> expected = c.texts;
    expected.push_back(QStringLiteral("<closing>"));
    EXPECT_EQ(events.log, expected);
}

INSTANTIATE_TEST_SUITE_P(Host, HostInput,
    ::testing::Values(
        InputCase{"Lines", {}, "CALL>hello\nCALL>second line\n", {u"CALL>hello"_s, u"CALL>second line"_s}},
        InputCase{"Utf8", {},
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE6\x97\xA5\xE6\x9C\xAC\n",
            {QStringLiteral("Grüße 日本")}},
        InputCase{"EmptyLine", {}, "\n", {QString()}},
        InputCase{"LastLineWithoutNewline", {}, "one\ntail", {u"one"_s, u"tail"_s}},
        InputCase{"RawKeepsBackslashes", {}, "a\\rb\\\\\n", {u"a\\rb\\\\"_s}},
        InputCase{"RawCrStaysInTheLine", {}, "two\rlines\n", {u"two\rlines"_s}},
        InputCase{"Escapes", {QStringLiteral("--escapes")}, "two\\rlines\\r\\nand \\\\ \\q \\\n",
            {u"two\rlines\r\nand \\ \\q \\"_s}}),
    CaseName());

struct StopCase {
    const char* name;
    int signal; // 0: end of input
    friend void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }
};

class HostStop : public ::testing::TestWithParam<StopCase>
{
};

TEST_P(HostStop, RaisesClosingOnceAndExitsCleanly)
{
    HostProcess process;
    ASSERT_TRUE(process.waitReady()) << process.standardError().toStdString();
    const std::unique_ptr<ChatHost> host = attach();
    ASSERT_NE(host, nullptr);
    Events events(*host);

    process.write("before the end\n");
    ASSERT_TRUE(waitUntil([&] { return !events.texts.empty(); }));
    if (GetParam().signal)
        process.signal(GetParam().signal);
    else
        process.closeInput();

    ASSERT_TRUE(waitUntil([&] { return events.closings > 0; }));
    ASSERT_TRUE(process.waitGone());
    EXPECT_EQ(process.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.process().exitCode(), 0) << process.standardError().toStdString();

    // The name is gone by now; losing it must not end the program a second time.
    QCoreApplication::processEvents();
    EXPECT_EQ(events.log, (std::vector<QString>{u"before the end"_s, u"<closing>"_s}));
}

INSTANTIATE_TEST_SUITE_P(Host, HostStop,
    ::testing::Values(StopCase{"EndOfInput", 0}, StopCase{"Sigint", SIGINT}, StopCase{"Sigterm", SIGTERM},
        StopCase{"Sighup", SIGHUP}),
    CaseName());

// --- A host that goes wrong ------------------------------------------------------------------------------------

TEST(HostGone, KilledHostEndsTheProgramAndLaterCallsFailWithAReason)
{
    HostProcess process;
    ASSERT_TRUE(process.waitReady()) << process.standardError().toStdString();
    const std::unique_ptr<ChatHost> host = attach();
    ASSERT_NE(host, nullptr);
    Events events(*host);

    QElapsedTimer clock;
    clock.start();
    process.process().kill();
    ASSERT_TRUE(waitUntil([&] { return events.closings > 0; }, 1s));
    report("ClosingAfterSigkill", clock.elapsed());
    EXPECT_EQ(events.closings, 1);

    EXPECT_EQ(send(*host, QStringLiteral("anyone there?")), std::optional<bool>(false));
    EXPECT_TRUE(host->errorString().contains(QLatin1String("did not take the text"))) << host->errorString();
    EXPECT_EQ(host->callsign(), std::nullopt);
    EXPECT_TRUE(host->errorString().contains(QLatin1String("StationInfo"))) << host->errorString();
}

TEST(HostFrozen, ASendWaitsWithoutHoldingTheCaller)
{
    HostProcess process;
    ASSERT_TRUE(process.waitReady()) << process.standardError().toStdString();
    const std::unique_ptr<ChatHost> host = attach();
    ASSERT_NE(host, nullptr);
    host->applyCallSettings();
    process.signal(SIGSTOP);

    std::optional<bool> delivered;
    host->sendChatText(QStringLiteral("are you there?"), [&](bool ok) { delivered = ok; });
    // The caller's event loop runs on while the host is frozen.
    bool ticked = false;
    QTimer::singleShot(50, [&] { ticked = true; });
    ASSERT_TRUE(waitUntil([&] { return ticked; }));
    EXPECT_FALSE(delivered.has_value());

    process.signal(SIGCONT);
    ASSERT_TRUE(waitUntil([&] { return delivered.has_value(); }));
    EXPECT_TRUE(*delivered) << host->errorString();
    EXPECT_EQ(process.nextOutputLine(), QByteArray("are you there?"));
}

TEST(BusLost, EndsTheProgramAsTheHostGoingAwayWould)
{
    // A bus of this test's own, so that it can be taken away.
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    ASSERT_TRUE(daemon.waitForReadyRead(10000)) << daemon.readAllStandardError().toStdString();
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection hostSide = QDBusConnection::connectToBus(address, QStringLiteral("lost-bus-host"));
    ASSERT_TRUE(hostSide.registerService(DBusChatHost::serviceName)) << hostSide.lastError().message();
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("lost-bus"));
    QString why;
    const std::unique_ptr<ChatHost> host = DBusChatHost::create(bus, &why);
    ASSERT_NE(host, nullptr) << why;
    Events events(*host);

    daemon.kill();
    daemon.waitForFinished();

    ASSERT_TRUE(waitUntil([&] { return events.closings > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(events.closings, 1);
    QDBusConnection::disconnectFromBus(QStringLiteral("lost-bus"));
    QDBusConnection::disconnectFromBus(QStringLiteral("lost-bus-host"));
}

TEST(HostSignals, FromAnyoneButTheNamesOwnerAreIgnored)
{
    HostProcess process;
    ASSERT_TRUE(process.waitReady()) << process.standardError().toStdString();
    const std::unique_ptr<ChatHost> host = attach();
    ASSERT_NE(host, nullptr);
    Events events(*host);

    QDBusConnection spoofer
        = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("verbolt-spoofer"));
    ASSERT_TRUE(spoofer.isConnected());
    const QString path = DBusChatHost::objectPath;
    const QString interface = DBusChatHost::chatHostInterface;
    SignalBarrier barrier(spoofer);
    // Make sure the subscription is in place at the bus before anything is sent.
    QDBusConnection::sessionBus().interface()->isServiceRegistered(DBusChatHost::serviceName);

    QDBusMessage fake = QDBusMessage::createSignal(path, interface, QStringLiteral("ChatTextReceived"));
    fake << QStringLiteral("spoofed");
    spoofer.send(fake);
    spoofer.send(QDBusMessage::createSignal(path, interface, QStringLiteral("Closing")));
    barrier.pass();
    ASSERT_TRUE(waitUntil([&] { return barrier.passed(); }));
    EXPECT_EQ(events.log, std::vector<QString>{});

    process.write("genuine\n");
    ASSERT_TRUE(waitUntil([&] { return !events.texts.empty(); }));
    EXPECT_EQ(events.log, std::vector<QString>{u"genuine"_s});
    QDBusConnection::disconnectFromBus(QStringLiteral("verbolt-spoofer"));
}
