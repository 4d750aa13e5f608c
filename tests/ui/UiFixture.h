#pragma once

// The window on the offscreen platform with fakes behind its own seams: a chat host in memory, a translation
// service that answers from a table, a fixed clock, recorded notices and a private settings folder. Both answer
// from the event loop, as the real ones do: settle() waits until the window has handled everything.

#include "FakeChatHost.h"
#include "FakePageFetcher.h"
#include "MessageBox.h"
#include "QtPrinters.h"
#include "WaitUntil.h"
#include "frmVerbolt.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTime>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

// The window's notices and failure reasons, as the operator reads them.
inline const QString kChoose = QStringLiteral("You have to choise a language to translate to.");
inline const QString kNotTranslated = QStringLiteral("Could not translate the text, sorry");
inline const QString kAuto = QStringLiteral("Cant use autoDetect to the language you want to translate.");
inline const QString kUnchanged = QStringLiteral("the translation service gave the text back unchanged");
inline const QString kNoTranslation = QStringLiteral("the translation service's answer holds no translation");
inline const QString kKlingon = QStringLiteral("\u201cKlingon\u201d is not a language the translation service knows");

/// The notice of a translation that failed for reason.
inline QString notTranslated(const QString& reason)
{
    return kNotTranslated + u'\n' + reason;
}

/// The pane's line in place of a translation that failed for reason.
inline QString mark(const QString& reason)
{
    return QStringLiteral(">!! not translated: ") + reason + QStringLiteral("\r\n");
}

struct ReportCall {
    QString statsHost, callsign, program, version;
};

class UiFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_xdg.isValid());
        ASSERT_TRUE(m_state.isValid());
        m_oldXdg = qgetenv("XDG_CONFIG_HOME");
        m_hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_xdg.path().toUtf8());
        qputenv("XDG_STATE_HOME", m_state.path().toUtf8());
        MessageBox::setHook([this](QWidget*, const QString& text) {
            notices.append(text);
            if (onNotice)
                onNotice(text);
        });
    }

    void TearDown() override
    {
        MessageBox::setHook({});
        window.reset();
        if (m_hadXdg)
            qputenv("XDG_CONFIG_HOME", m_oldXdg);
        else
            qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_STATE_HOME");
        // Nothing a test posted may reach the next one.
        QCoreApplication::processEvents();
    }

    QString iniPath() const { return m_xdg.path() + QStringLiteral("/Verbolt.ini"); }
    QString stateHome() const { return m_state.path(); }

    void writeIni(const QByteArray& bytes)
    {
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray readIni() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    WindowServices services()
    {
        WindowServices s;
        s.createHost = [this](QString* why) -> std::unique_ptr<ChatHost> {
            calls.append(QStringLiteral("createHost"));
            if (!attachError.isEmpty()) {
                *why = attachError;
                return nullptr;
            }
            auto created = std::make_unique<FakeChatHost>();
            created->station = startStation;
            created->said = attachSays;
            created->onCall = [this](const QString& call) { calls.append(call); };
            host = created.get();
            return created;
        };
        auto pages = std::make_unique<FakePageFetcher>();
        pages->answer = [this](const QString& url) {
            PageResult page = pageFailure;
            page.body = serve(url);
            return page;
        };
        fetcher = pages.get();
        s.pageFetcher = std::move(pages);
        s.isOnline = [this] { return online; };
        s.sendUsageReport = [this](const QString& statsHost, const QString& callsign, const QString& program,
                                const QString& version) {
            calls.append(QStringLiteral("report"));
            reports.push_back({statsHost, callsign, program, version});
            if (onReport)
                onReport();
        };
        s.now = [this] { return clock; };
        s.today = [this] { return date; };
        s.steadyClock = [this] { return steady; };
        s.quit = [this] { ++quits; };
        return s;
    }

    // Creates the window and runs its start-up; the window stays hidden, as it is until start-up returns.
    bool start()
    {
        window = std::make_unique<frmVerbolt>(services());
        return window->load();
    }

    // Starts with the given languages and check boxes, already past the start-up's own effects.
    void startWith(const QString& from, const QString& to, int useTr = 0, int timeStamp = 0)
    {
        ASSERT_TRUE(start());
        window->comFrom->setEditText(from);
        window->comLan->setEditText(to);
        window->UseTr->setValue(useTr);
        window->TimeStamp->setValue(timeStamp);
        calls.clear();
    }

    void pressEnter()
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(window->txtInput, &press);
    }

    // Waits until every chat text and typed line has been handled.
    void settle()
    {
        ASSERT_TRUE(waitUntil([this] { return !window->isBusy(); }));
    }

    // The translation service: answers {"translatedText":"<reply>"} for the text it is asked, or a page without
    // a translation when translate gives nothing.
    QString serve(const QString& url)
    {
        urls.append(url);
        const qsizetype q = url.indexOf(QStringLiteral("&q="));
        const qsizetype pair = url.indexOf(QStringLiteral("&langpair="));
        const QString text = QString::fromUtf8(QByteArray::fromPercentEncoding(url.mid(q + 3, pair - q - 3).toUtf8()));
        const QString langpair = QString::fromUtf8(QByteArray::fromPercentEncoding(url.mid(pair + 10).toUtf8()));
        asked.append(text);
        langpairs.append(langpair);
        const std::optional<QString> reply = translate ? translate(text) : std::nullopt;
        if (!reply)
            return QStringLiteral("<html><body>Not found</body></html>");
        return QStringLiteral("{\"responseData\": {\"translatedText\":\"") + *reply
            + QStringLiteral("\"}, \"responseDetails\": null, \"responseStatus\": 200}");
    }

    // Seams.
    QString attachError;
    PageResult pageFailure;
    std::optional<QString> startStation = QStringLiteral("EA1XYZ");
    QString attachSays;
    bool online = true;
    QTime clock = QTime(14, 5);
    QDate date = QDate(2026, 12, 8);
    std::chrono::milliseconds steady{0};
    std::function<std::optional<QString>(const QString& text)> translate;
    std::function<void(const QString& text)> onNotice;
    std::function<void()> onReport;

    // What happened.
    QStringList calls;
    QStringList notices;
    QStringList urls;
    QStringList asked;
    QStringList langpairs;
    std::vector<ReportCall> reports;
    int quits = 0;

    std::unique_ptr<frmVerbolt> window;
    FakeChatHost* host = nullptr;
    FakePageFetcher* fetcher = nullptr;

private:
    QTemporaryDir m_xdg;
    QTemporaryDir m_state;
    QByteArray m_oldXdg;
    bool m_hadXdg = false;
};
