// The translation engines dialog on the offscreen platform, with the service's settings paths in memory and the
// settings file in a temporary folder.
#include "EnginesDialog.h"
#include "FakeEngineService.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

EngineReport reported(const char* id, const char* name, bool online, bool ready, const char* why = "")
{
    return {QString::fromUtf8(id), QString::fromUtf8(name), online, true, ready, QString::fromUtf8(why), {}};
}

class EnginesDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        service.report.engines = {reported("phrasebook", "Phrasebook", false, true),
            reported("apertium", "Apertium", false, true), reported("mymemory", "MyMemory", true, true),
            reported("deepl", "DeepL", true, false, "needs a key"), reported("google", "Google", true, false),
            reported("libretranslate", "LibreTranslate", true, false), reported("llm", "Language model", true, false)};
        service.report.languages = {{QStringLiteral("de"), QStringLiteral("German"),
                                        {QStringLiteral("phrasebook"), QStringLiteral("mymemory")}},
            {QStringLiteral("es"), QStringLiteral("Spanish"), {QStringLiteral("apertium"), QStringLiteral("mymemory")}},
            {QStringLiteral("mt"), QStringLiteral("Maltese"), {}}};
    }

    QString confPath() const { return m_dir.filePath(QStringLiteral("verbolt-service.conf")); }

    void writeConf(const QByteArray& bytes)
    {
        QFile file(confPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray conf() const
    {
        QFile file(confPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void open()
    {
        dialog = std::make_unique<EnginesDialog>(&service, confPath(), QStringLiteral("en"), QStringLiteral("de"));
        ASSERT_TRUE(waitFor(&EnginesDialog::reported));
    }

    // Does what, then waits until the dialog gives signal.
    template <typename Signal>
    bool waitFor(Signal signal, const std::function<void()>& what = {})
    {
        bool given = false;
        const QMetaObject::Connection connection
            = QObject::connect(dialog.get(), signal, dialog.get(), [&given] { given = true; });
        if (what)
            what();
        const bool arrived = waitUntil([&given] { return given; });
        QObject::disconnect(connection);
        return arrived;
    }

    template <typename T>
    T* child(const char* name) const
    {
        T* found = dialog->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QStringList listed() const
    {
        QStringList ids;
        auto* list = child<QListWidget>("engineList");
        for (int i = 0; i < list->count(); ++i)
            ids.append(list->item(i)->data(Qt::UserRole).toString());
        return ids;
    }

    void select(const QString& id) { child<QListWidget>("engineList")->setCurrentRow(int(listed().indexOf(id))); }

    // Typed as the operator types it, key by key.
    void type(QLineEdit* edit, const QString& text)
    {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(edit, &press);
        }
    }

    void saveAndWait()
    {
        ASSERT_TRUE(waitFor(&EnginesDialog::saved,
            [this] { dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click(); }));
    }

    FakeEngineService service;
    std::unique_ptr<EnginesDialog> dialog;

private:
    QTemporaryDir m_dir;
};

TEST_F(EnginesDialogTest, ListsTheEnginesInTheOrderTriedWithTheirFieldsAndKeysMasked)
{
    writeConf("[routing]\norder=deepl,apertium\n[deepl]\nkey=secret-key:fx\n[mymemory]\nenabled=no\n");
    open();

    EXPECT_EQ(service.langs, QStringList{QStringLiteral("en")});
    EXPECT_EQ(
        listed(), QStringList({"deepl", "apertium", "phrasebook", "mymemory", "google", "libretranslate", "llm"}));
    auto* list = child<QListWidget>("engineList");
    EXPECT_EQ(list->item(3)->checkState(), Qt::Unchecked);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);

    select(QStringLiteral("deepl"));
    auto* key = child<QLineEdit>("field_key");
    EXPECT_EQ(key->text(), QStringLiteral("secret-key:fx"));
    EXPECT_EQ(key->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(key->displayText().contains(QStringLiteral("secret")));
    EXPECT_TRUE(child<QLineEdit>("field_url")->isVisibleTo(dialog.get()));
    EXPECT_FALSE(child<QLineEdit>("field_model")->isVisibleTo(dialog.get()));
    EXPECT_FALSE(child<QLineEdit>("field_email")->isVisibleTo(dialog.get()));

    select(QStringLiteral("llm"));
    EXPECT_TRUE(child<QLineEdit>("field_model")->isVisibleTo(dialog.get()));
    select(QStringLiteral("mymemory"));
    EXPECT_TRUE(child<QLineEdit>("field_email")->isVisibleTo(dialog.get()));
    EXPECT_FALSE(child<QLineEdit>("field_key")->isVisibleTo(dialog.get()));
}

TEST_F(EnginesDialogTest, WithoutAnOrderInTheFileShowsTheServicesAndTheLanguagesItServes)
{
    std::swap(service.report.engines[0], service.report.engines[2]);
    open();

    EXPECT_EQ(listed().mid(0, 3), QStringList({"mymemory", "apertium", "phrasebook"}));
    auto* table = child<QTableWidget>("languageTable");
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("de"));
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("Phrasebook, MyMemory"));
    EXPECT_EQ(table->item(2, 2)->text(), QStringLiteral("none"));
}

struct TryCase {
    const char* name;
    TryOutcome outcome;
    const char* shown;
};

void PrintTo(const TryCase& c, std::ostream* os)
{
    *os << c.name;
}

class EnginesDialogTry : public EnginesDialogTest, public testing::WithParamInterface<TryCase>
{
};

TEST_P(EnginesDialogTry, SendsTheFieldsAsTypedThroughThatEngineAndShowsWhatCameBack)
{
    service.outcome = GetParam().outcome;
    open();
    select(QStringLiteral("deepl"));
    type(child<QLineEdit>("field_key"), QStringLiteral(" pasted:fx "));

    ASSERT_TRUE(waitFor(&EnginesDialog::tried, [this] { child<QPushButton>("tryButton")->click(); }));

    ASSERT_EQ(service.tries.size(), 1);
    const FakeEngineService::Try& asked = service.tries.first();
    EXPECT_EQ(asked.engine, QStringLiteral("deepl"));
    EXPECT_EQ(asked.from, QStringLiteral("en"));
    EXPECT_EQ(asked.to, QStringLiteral("de"));
    EXPECT_EQ(asked.text, child<QLineEdit>("sample")->text());
    EXPECT_EQ(asked.fields.value(QStringLiteral("key")), QStringLiteral("pasted:fx"));
    EXPECT_TRUE(asked.fields.contains(QStringLiteral("url")));
    EXPECT_EQ(child<QLabel>("tryResult")->text(), QString::fromUtf8(GetParam().shown));
    // A try changes nothing on disk.
    EXPECT_EQ(conf(), QByteArray());
}

INSTANTIATE_TEST_SUITE_P(Cases, EnginesDialogTry,
    testing::Values(TryCase{"Answer", {true, QStringLiteral("Guten Morgen"), {}}, "DeepL answers: Guten Morgen"},
        TryCase{"Reason", {false, {}, QStringLiteral("DeepL: key refused (403): Wrong endpoint")},
            "DeepL did not translate it: DeepL: key refused (403): Wrong endpoint"}),
    CaseName());

struct SaveCase {
    const char* name;
    const char* refusal;
    const char* status;
};

void PrintTo(const SaveCase& c, std::ostream* os)
{
    *os << c.name;
}

class EnginesDialogSave : public EnginesDialogTest, public testing::WithParamInterface<SaveCase>
{
};

TEST_P(EnginesDialogSave, WritesWhatChangedAndHasTheServiceReadItOrSaysWhyNot)
{
    writeConf("; mine\n[llm]\ntemperature=0.3\n");
    service.refusal = QString::fromUtf8(GetParam().refusal);
    open();
    select(QStringLiteral("mymemory"));
    child<QPushButton>("moveUp")->click();
    child<QListWidget>("engineList")
        ->item(int(listed().indexOf(QStringLiteral("google"))))
        ->setCheckState(Qt::Unchecked);
    select(QStringLiteral("deepl"));
    type(child<QLineEdit>("field_key"), QStringLiteral("k;1"));

    saveAndWait();

    EXPECT_EQ(conf(),
        "; mine\n[llm]\ntemperature=0.3\n\n[routing]\norder=\"phrasebook,mymemory,apertium,deepl,google,"
        "libretranslate,llm\"\n\n[deepl]\nkey=\"k;1\"\n\n[google]\nenabled=no\n");
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_FALSE(QFile::permissions(confPath()) & others);
    EXPECT_EQ(service.reloads, 1);
    EXPECT_EQ(child<QLabel>("status")->text(), QString::fromUtf8(GetParam().status));
}

INSTANTIATE_TEST_SUITE_P(Cases, EnginesDialogSave,
    testing::Values(SaveCase{"Taken", "", "Saved. The service translates with the new settings."},
        SaveCase{"Refused", "[deepl] url= wants an http:// or https:// address",
            "The service keeps its old settings: [deepl] url= wants an http:// or https:// address"}),
    CaseName());

} // namespace
