// Something else than fldigi answering at its address: replies longer than asked for or larger than any call
// needs, pane lengths of anything at all, and a configuration folder whose settings file is a pipe or a device.
#include "FakeFldigiServer.h"
#include "FldigiSettingsFile.h"
#include "QtPrinters.h"
#include "WaitUntil.h"
#include "XmlRpcFldigiClient.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <sys/stat.h>

namespace {

using namespace Qt::StringLiterals;

QByteArray base64Value(const QByteArray& bytes, const QByteArray& padding = {})
{
    return "<base64>" + bytes.toBase64() + padding + "</base64>";
}

struct ReplyCase {
    const char* name;
    const char* method; // the call made: text.get_rx asks for 10 bytes from 0
    QByteArray value; // the value answered
    bool ok;
    const char* errorShows;
};

void PrintTo(const ReplyCase& c, std::ostream* os)
{
    *os << c.name;
}

class XmlRpcReply : public ::testing::TestWithParam<ReplyCase>
{
};

TEST_P(XmlRpcReply, IsHeldToWhatTheCallAskedFor)
{
    const ReplyCase& c = GetParam();
    FakeFldigiServer server([&c](const QString&, const QStringList&) { return FakeFldigiServer::reply(c.value); });
    XmlRpcFldigiClient client(u"127.0.0.1"_s, server.port());
    bool ok = false;
    if (QByteArray(c.method) == "text.get_rx")
        ok = client.rx(0, 10).has_value();
    else
        ok = client.rxLength().has_value();
    EXPECT_EQ(ok, c.ok) << client.errorString();
    EXPECT_TRUE(client.errorString().contains(QString::fromUtf8(c.errorShows))) << client.errorString();
    if (!c.ok) {
        EXPECT_EQ(client.failure(), FldigiClient::Failure::NoAnswer);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, XmlRpcReply,
    ::testing::Values(ReplyCase{"ReadAsAsked", "text.get_rx", base64Value("0123456789"), true, ""},
        ReplyCase{"ReadLongerThanAsked", "text.get_rx", base64Value("0123456789a"), false,
            "text.get_rx with 11 bytes, more than the 10 asked for"},
        // Whitespace a base64 value may hold, but far more than ten bytes' worth can need.
        ReplyCase{"ReadPaddedBeyondItsSize", "text.get_rx", base64Value("0123456789", QByteArray(8192, '\n')), false,
            "answered text.get_rx with more than 4116 bytes"},
        ReplyCase{"LengthOfTwoGigabytes", "text.get_rx_length", "<i4>2147483647</i4>", true, ""},
        ReplyCase{"NegativeLength", "text.get_rx_length", "<i4>-5</i4>", false, "with -5, not a length"},
        ReplyCase{"LengthThatIsText", "text.get_rx_length", "<string>many</string>", false, "with many, not a length"},
        ReplyCase{"LargerThanAnyCallNeeds", "text.get_rx_length",
            "<string>" + QByteArray(300 * 1024, 'x') + "</string>", false,
            "answered text.get_rx_length with more than 262144 bytes"}),
    CaseName());

// What can be found under fldigi_def.xml in the folder fldigi names.
struct SettingsCase {
    const char* name;
    std::function<void(const QString& path, const QString& folder)> make;
    std::optional<QString> callsign;
    const char* error; // %1: the file's path
};

void PrintTo(const SettingsCase& c, std::ostream* os)
{
    *os << c.name;
}

class SettingsFile : public ::testing::TestWithParam<SettingsCase>
{
};

void writeSettings(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\"?>\n<FLDIGI_DEFS>\n<MYCALL> EA4ABC </MYCALL>\n</FLDIGI_DEFS>\n");
}

TEST_P(SettingsFile, IsReadOnlyWhenARegularFileOfAtMostOneMebibyte)
{
    const SettingsCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"fldigi_def.xml"_s);
    ASSERT_NO_FATAL_FAILURE(c.make(path, dir.path()));
    QString why;
    EXPECT_EQ(FldigiSettingsFile::callsign(dir.path(), &why), c.callsign) << why;
    if (!c.callsign) {
        EXPECT_EQ(why, QString::fromUtf8(c.error).arg(path));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, SettingsFile,
    ::testing::Values(
        SettingsCase{"Regular", [](const QString& path, const QString&) { writeSettings(path); }, u"EA4ABC"_s, ""},
        SettingsCase{"LinkToARegularFile",
            [](const QString& path, const QString& folder) {
                writeSettings(folder + u"/saved.xml"_s);
                ASSERT_TRUE(QFile::link(folder + u"/saved.xml"_s, path));
            },
            u"EA4ABC"_s, ""},
        // Opened and read, a pipe with no writer would hold the bridge for good.
        SettingsCase{"Pipe",
            [](const QString& path, const QString&) {
                ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            },
            std::nullopt, "%1 is not a regular file"},
        SettingsCase{"LinkToDevZero",
            [](const QString& path, const QString&) { ASSERT_TRUE(QFile::link(u"/dev/zero"_s, path)); }, std::nullopt,
            "%1 is not a regular file"},
        SettingsCase{"LargerThanOneMebibyte",
            [](const QString& path, const QString&) {
                writeSettings(path);
                ASSERT_TRUE(QFile::resize(path, 1024 * 1024 + 1));
            },
            std::nullopt, "%1 is larger than 1048576 bytes"},
        SettingsCase{"Missing", [](const QString&, const QString&) {}, std::nullopt, "cannot open %1: No such file or directory"}),
    CaseName());

TEST(SettingsFile, IsReadOnceForEveryCallsignAskedFor)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_NO_FATAL_FAILURE(writeSettings(dir.filePath(u"fldigi_def.xml"_s)));
    FakeFldigiServer server([&dir](const QString&, const QStringList&) {
        return FakeFldigiServer::reply("<string>" + dir.path().toUtf8() + "/</string>");
    });
    XmlRpcFldigiClient client(u"127.0.0.1"_s, server.port());
    EXPECT_EQ(client.stationCallsign(), u"EA4ABC"_s);
    ASSERT_TRUE(QFile::remove(dir.filePath(u"fldigi_def.xml"_s)));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(u"fldigi_def.xml"_s)).constData(), 0600), 0);
    EXPECT_EQ(client.stationCallsign(), u"EA4ABC"_s);
    EXPECT_EQ(server.calls(), QStringList{u"fldigi.config_dir()"_s});
}

// The real bridge against such a server: a settings file that is a pipe, a pane that grows to 2^31-1 bytes. It
// starts, reads the pane in bounded pieces, answers on the bus meanwhile and stops when told.
TEST(HostileFldigiProgram, StartsReadsInBoundedPiecesAndStaysResponsive)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(u"fldigi_def.xml"_s)).constData(), 0600), 0);
    std::atomic<int> lengthsAsked = 0;
    FakeFldigiServer server([&dir, &lengthsAsked](const QString& method, const QStringList& params) -> QByteArray {
        if (method == u"fldigi.name")
            return FakeFldigiServer::reply("<string>fldigi</string>");
        if (method == u"fldigi.config_dir")
            return FakeFldigiServer::reply("<string>" + dir.path().toUtf8() + "/</string>");
        // Empty when the bridge starts, then without end.
        if (method == u"text.get_rx_length")
            return FakeFldigiServer::reply(lengthsAsked++ == 0 ? "<i4>0</i4>" : "<i4>2147483647</i4>");
        if (method == u"text.get_rx")
            return FakeFldigiServer::reply(base64Value(QByteArray(params.value(1).toInt(), 'e')));
        if (method == u"main.get_trx_state")
            return FakeFldigiServer::reply("<string>RX</string>");
        if (method == u"main.get_trx_status")
            return FakeFldigiServer::reply("<string>rx</string>");
        return FakeFldigiServer::reply("<string></string>");
    });
    QProcess bridge;
    bridge.start(QStringLiteral(VERBOLT_FLDIGI_BIN), {u"--port"_s, QString::number(server.port())});
    QByteArray err;
    const auto readErr = [&] {
        err += bridge.readAllStandardError();
        return err;
    };
    ASSERT_TRUE(waitUntil([&] { return readErr().contains("ready as") || bridge.state() == QProcess::NotRunning; }))
        << err.constData();
    EXPECT_TRUE(err.contains("no callsign from fldigi's settings: " + QFile::encodeName(dir.path())
        + "/fldigi_def.xml is not a regular file"))
        << err.constData();
    ASSERT_TRUE(waitUntil([&] { return server.calls().filter(u"text.get_rx("_s).size() >= 3; }))
        << readErr().constData();

    QDBusInterface station(u"org.verbolt.ChatHost"_s, u"/org/verbolt/ChatHost/StationInfo"_s,
        u"org.verbolt.StationInfo"_s, QDBusConnection::sessionBus());
    EXPECT_EQ(station.property("Callsign").toString(), QString());
    for (const QString& call : server.calls().filter(u"text.get_rx("_s)) {
        const int asked = call.section(u',', 1).chopped(1).toInt();
        EXPECT_LE(asked, 64 * 1024) << call;
    }
    EXPECT_EQ(server.calls().count(u"fldigi.config_dir()"_s), 1);

    ::kill(pid_t(bridge.processId()), SIGTERM);
    ASSERT_TRUE(bridge.waitForFinished(30000));
    EXPECT_EQ(bridge.exitCode(), 0) << readErr().constData();
}

} // namespace
