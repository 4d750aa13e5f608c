// The window's doors to the engines dialog (the pane's menu, the failure notice) and its one line per run that
// says the conversation went online.
#include "ConversationPane.h"
#include "EnginesDialog.h"
#include "EnginesOpener.h"
#include "FakeEngineService.h"
#include "UiFixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

namespace {

const QString kNoEngine = QStringLiteral("no engine here translates English to German: install an Apertium pair or "
                                         "configure an engine in ~/.config/verbolt-service.conf");

QString refusal(const QString& reason)
{
    return QStringLiteral(R"({"responseData": null, "responseDetails": "%1", "responseStatus": 400})").arg(reason);
}

QString translation(const QString& text, const char* engine)
{
    return QStringLiteral(R"({"responseData": {"translatedText":"%1"}, "responseDetails": null, )"
                          R"("responseStatus": 200, "engine": %2})")
        .arg(text, QString::fromUtf8(engine));
}

const char* const kMyMemory = R"({"id": "mymemory", "name": "MyMemory", "online": true, )"
                              R"("provider": "MyMemory (Translated), api.mymemory.translated.net"})";
const char* const kApertium = R"({"id": "apertium", "name": "Apertium", "online": false, "provider": ""})";

class EnginesWindow : public UiFixture
{
protected:
    void startWindow()
    {
        WindowServices s = services();
        s.engineService = [this] {
            auto created = std::make_unique<FakeEngineService>();
            engines = created.get();
            return created;
        };
        window = std::make_unique<frmVerbolt>(std::move(s));
        ASSERT_TRUE(window->load());
        window->comFrom->setEditText(QStringLiteral("English"));
        window->comLan->setEditText(QStringLiteral("German"));
        fetcher->answer = [this](const QString&) {
            PageResult page;
            page.body = replies.isEmpty() ? QString() : replies.takeFirst();
            return page;
        };
    }

    void typeLine(const QString& text)
    {
        window->txtInput->setText(text);
        pressEnter();
        settle();
    }

    EnginesDialog* dialog() const { return window->findChild<EnginesDialog*>(); }

    QStringList replies;
    FakeEngineService* engines = nullptr;
};

struct NoticeCase {
    const char* name;
    bool noEngine;
    bool pressSetUp;
    bool opens;
};

void PrintTo(const NoticeCase& c, std::ostream* os)
{
    *os << c.name;
}

class EnginesNotice : public EnginesWindow, public testing::WithParamInterface<NoticeCase>
{
};

TEST_P(EnginesNotice, OffersToSetUpAnEngineWhenNoneServesThePair)
{
    const NoticeCase& c = GetParam();
    startWindow();
    const QString reason = c.noEngine ? kNoEngine : QStringLiteral("DeepL: quota exceeded (456)");
    replies = {refusal(reason)};
    if (c.pressSetUp)
        MessageBox::preAnswer(EnginesOpener::setUpButton());

    typeLine(QStringLiteral("hello"));

    EXPECT_EQ(notices, QStringList{notTranslated(reason)});
    ASSERT_EQ(dialog() != nullptr, c.opens);
    if (c.opens) {
        EXPECT_TRUE(dialog()->isVisible());
        ASSERT_TRUE(waitUntil([this] { return engines && !engines->langs.isEmpty(); }));
        EXPECT_EQ(engines->langs, QStringList{QStringLiteral("en")});
    }
    // The line that was not sent is still there to send again.
    EXPECT_EQ(window->txtInput->text(), QStringLiteral("hello"));
}

INSTANTIATE_TEST_SUITE_P(Cases, EnginesNotice,
    testing::Values(NoticeCase{"SetUpPressed", true, true, true}, NoticeCase{"OkPressed", true, false, false},
        NoticeCase{"OtherCauseOffersNoButton", false, true, false}),
    CaseName());

TEST_F(EnginesWindow, ThePanesMenuKeepsItsEntriesAndOpensTheDialog)
{
    startWindow();
    window->show();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), window->Text1->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(window->Text1->viewport(), &event);
    QMenu* menu = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<QMenu*>(widget); found && found->isVisible())
                menu = found;
        }
        return menu != nullptr;
    }));
    QAction* entry = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text() == ConversationPane::enginesEntry())
            entry = action;
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_GT(menu->actions().size(), 2) << "the standard entries (Copy, Select All) stay";

    entry->trigger();
    menu->close();

    ASSERT_NE(dialog(), nullptr);
    EXPECT_EQ(dialog()->windowTitle(), QStringLiteral("Translation engines"));
}

TEST_F(EnginesWindow, TheFirstOnlineTranslationOfARunSaysWhereItWentOnce)
{
    startWindow();
    replies = {translation(QStringLiteral("eins"), kApertium), translation(QStringLiteral("zwei"), kMyMemory),
        translation(QStringLiteral("drei"), kMyMemory)};

    typeLine(QStringLiteral("one"));
    typeLine(QStringLiteral("two"));
    host->receive(QStringLiteral("DL1ABC>three"));
    settle();

    EXPECT_EQ(window->Text1->text(),
        QStringLiteral("EA1XYZ>< eins\r\n"
                       ">!! translated online by MyMemory (MyMemory (Translated), api.mymemory.translated.net)\r\n"
                       "EA1XYZ>< zwei\r\n"
                       "DL1ABC<<three\r\n"
                       "drei\r\n"));
    EXPECT_EQ(host->sent, QStringList({"eins", "zwei"}));
}

} // namespace
