// What the dialog writes for what the operator changed: as little as says it, and an order= never leaves out an
// engine that is switched on (the service uses no engine that order= leaves out).
#include "EnginesModel.h"
#include "QtPrinters.h"
#include "ServiceConfFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct ModelCase {
    const char* name;
    const char* before;
    std::function<void(EnginesModel&)> change;
    const char* after;
};

void PrintTo(const ModelCase& c, std::ostream* os)
{
    *os << c.name;
}

qsizetype rowOf(const EnginesModel& model, const char* id)
{
    for (qsizetype i = 0; i < model.rows().size(); ++i) {
        if (model.rows().at(i).id == QLatin1String(id))
            return i;
    }
    return -1;
}

class EnginesModelWrite : public testing::TestWithParam<ModelCase>
{
};

TEST_P(EnginesModelWrite, WritesWhatChangedAndNoMore)
{
    const ModelCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("verbolt-service.conf"));
    ServiceConfFile original;
    {
        QFile raw(path);
        ASSERT_TRUE(raw.open(QIODevice::WriteOnly));
        raw.write(c.before);
    }
    ASSERT_TRUE(original.load(path));
    EnginesModel model;
    model.load(original);

    c.change(model);
    ServiceConfFile edited = original;
    const bool changed = model.writeTo(edited);

    EXPECT_EQ(edited.text(), QString::fromUtf8(c.after));
    EXPECT_EQ(changed, edited.text() != original.text());
}

INSTANTIATE_TEST_SUITE_P(Cases, EnginesModelWrite,
    testing::Values(ModelCase{"NothingChanged", "[routing]\norder=apertium,deepl\n", [](EnginesModel&) {},
                        "[routing]\norder=apertium,deepl\n"},
        ModelCase{"LeftOutOfTheOrderIsOff", "[routing]\norder=apertium,deepl\n",
            [](EnginesModel& m) {
                EXPECT_FALSE(m.rows().at(rowOf(m, "google")).enabled);
                m.setEnabled(rowOf(m, "google"), true);
            },
            "[routing]\norder=\"apertium,deepl,phrasebook,mymemory,google,libretranslate,llm\"\n\n[phrasebook]\n"
            "enabled=no\n\n[mymemory]\nenabled=no\n\n[libretranslate]\nenabled=no\n\n[llm]\nenabled=no\n"},
        ModelCase{"SwitchedOff", "", [](EnginesModel& m) { m.setEnabled(rowOf(m, "mymemory"), false); },
            "[mymemory]\nenabled=no\n"},
        ModelCase{"SwitchedBackOnInPlace", "[google]\nenabled=no\nkey=g\n",
            [](EnginesModel& m) { m.setEnabled(rowOf(m, "google"), true); }, "[google]\nenabled=yes\nkey=g\n"},
        ModelCase{"MovedDown", "", [](EnginesModel& m) { m.move(rowOf(m, "phrasebook"), 1); },
            "[routing]\norder=\"apertium,phrasebook,mymemory,deepl,google,libretranslate,llm\"\n"},
        ModelCase{"KeyTypedWithSpaces", "[deepl]\nurl=http://localhost:9\n",
            [](EnginesModel& m) { m.setValue(rowOf(m, "deepl"), QStringLiteral("key"), QStringLiteral(" k:fx\n")); },
            "[deepl]\nurl=http://localhost:9\nkey=k:fx\n"}),
    CaseName());

} // namespace
