// One run through the real verbolt-service with the real Apertium and the shipped phrasebook.

#include "ServiceTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

using namespace Qt::StringLiterals;
using namespace servicetest;

TEST(RealService, keepsLinksModelsAndSpacingAndServesThePhrasebookOffline)
{
    if (!QFile::exists(u"/usr/share/apertium/modes/eng-spa.mode"_s))
        GTEST_SKIP() << "no Apertium en-es here";
    QTemporaryDir dir;
    QFile config(dir.filePath(u"verbolt-service.conf"_s));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.close();
    config.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_DATA_HOME"_s, dir.path());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(
        QStringLiteral(VERBOLT_SERVICE_BIN), {u"--config"_s, config.fileName(), u"--listen"_s, u"127.0.0.1:0"_s});
    QString log;
    quint16 port = 0;
    const QRegularExpression listening(u"listening on 127\\.0\\.0\\.1:([0-9]+)"_s);
    ASSERT_TRUE(waitUntil(
        [&] {
            log += QString::fromUtf8(process.readAllStandardError());
            const auto found = listening.match(log);
            port = found.hasMatch() ? found.captured(1).toUShort() : 0;
            return port != 0 || process.state() == QProcess::NotRunning;
        },
        std::chrono::seconds(30)));
    ASSERT_NE(port, 0) << log;

    const struct {
        QString text, pair, expected;
    } cases[] = {
        {u"See my page https://www.qrz.com/db/DL1XYZ for details."_s, u"en|es"_s,
            u"Ver mi página https://www.qrz.com/db/DL1XYZ para detalles."_s},
        {u"Rig is an IC-7300, antenna a 3-element Yagi."_s, u"en|es"_s, {}},
        {u"I live in London."_s, u"en|es"_s, {}},
        {u"Guten Morgen, mein Name ist Hans"_s, u"de|en"_s, u"Good morning, my name is Hans"_s},
    };
    for (const auto& c : cases) {
        RawExchange exchange(port,
            get("/ajax/services/language/translate?v=1.0&q=" + QUrl::toPercentEncoding(c.text)
                + "&langpair=" + c.pair.toUtf8()));
        ASSERT_TRUE(exchange.waitClosed(30000));
        EXPECT_EQ(exchange.status(), 200) << c.text << exchange.body();
        const QString answer = clientReceive(exchange.body(), false);
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(answer, c.expected);
        }
        EXPECT_FALSE(answer.startsWith(u' ')) << answer;
        EXPECT_FALSE(answer.contains(u"  "_s)) << answer;
        if (c.text.contains(u"IC-7300"_s)) {
            EXPECT_TRUE(answer.contains(u"IC-7300"_s)) << answer;
        }
    }
    process.terminate();
    ASSERT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(10)));
}
