// The protected-word finder, the restoring of what an engine answered, the tidying of its spacing, and the
// phrasebook's matching on a small TMX file of its own.

#include "text/ProtectedWords.h"
#include "QtPrinters.h"
#include "phrasebook/Phrasebook.h"
#include "text/TextGuard.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct FindCase {
    const char* name;
    QString text;
    QStringList spans; ///< the protected words, in order
};

const QList<FindCase> kFind = {
    {"callsigns", u"EA4ABC de 2E0ABC"_s, {u"EA4ABC"_s, u"de"_s, u"2E0ABC"_s}},
    {"portable", u"K1ABC/P and VK2/G4ABC"_s, {u"K1ABC/P"_s, u"VK2/G4ABC"_s}},
    {"qCodes", u"My QTH is Madrid, QSL?"_s, {u"QTH"_s, u"QSL?"_s}},
    {"report", u"You are 599 here"_s, {u"599"_s}},
    {"locator", u"Locator IN80do"_s, {u"IN80do"_s}},
    {"frequency", u"QSY 14.074 MHz"_s, {u"QSY"_s, u"14.074 MHz"_s}},
    {"band", u"see you on 20 m"_s, {u"20 m"_s}},
    {"time", u"at 1830Z"_s, {u"1830Z"_s}},
    {"model", u"Rig is an IC-7300."_s, {u"IC-7300"_s}},
    {"url", u"See https://www.qrz.com/db/DL1XYZ for details."_s, {u"https://www.qrz.com/db/DL1XYZ"_s}},
    {"email", u"Write to ea4abc@example.org now"_s, {u"ea4abc@example.org"_s}},
    {"emoticon", u"Thanks :-)"_s, {u":-)"_s}},
    {"qCodeTouchingKana", u"QSOありがとう"_s, {u"QSO"_s}},
    {"qCodeWithEnding", u"QTH-ul meu e Cluj"_s, {u"QTH"_s}},
    {"qCodeWithApostropheEnding", u"Tack för QSO'en"_s, {u"QSO"_s}},
    {"qCodeAfterArticle", u"Grazzi tal-QSO"_s, {u"QSO"_s}},
    {"qCodeWithColonEnding", u"Kiitos LoTW:n kautta"_s, {u"LoTW"_s}},
    {"qCodeInChinese", u"谢谢QSO"_s, {u"QSO"_s}},
    {"plainWords", u"I live in London and the weather is fine"_s, {}},
    {"dashedCapitalsWithoutDigits", u"A-A-A-A-A-A"_s, {}},
    {"modelAfterLowerCaseDash", u"the new-IC7300 rig"_s, {u"IC7300"_s}},
    {"emailOfADashedName", u"x-y-z@example.org"_s, {u"x-y-z@example.org"_s}},
};

class Find : public ::testing::TestWithParam<FindCase>
{
};

} // namespace

TEST_P(Find, takesExactlyTheProtectedWords)
{
    QStringList found;
    for (const service::ProtectedSpan& span : service::ProtectedWords::find(GetParam().text))
        found << span.text;
    EXPECT_EQ(found, GetParam().spans);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Find, ::testing::ValuesIn(kFind), [](const auto& info) { return std::string(info.param.name); });

namespace {

struct TidyCase {
    const char* name;
    QString answer, input, target, expected;
};

const QList<TidyCase> kTidy = {
    {"leadingSpace", u" Vivo en Londres."_s, u"I live in London."_s, u"es"_s, u"Vivo en Londres."_s},
    {"doubledSpace", u"Escribe a  ea4abc@example.org"_s, u"Write to ea4abc@example.org"_s, u"es"_s,
        u"Escribe a ea4abc@example.org"_s},
    {"spaceBeforeComma", u"Hola , amigo ."_s, u"Hello, friend."_s, u"es"_s, u"Hola, amigo."_s},
};

class Tidy : public ::testing::TestWithParam<TidyCase>
{
};

} // namespace

TEST_P(Tidy, addsNoWhitespaceTheInputLacks)
{
    const TidyCase& c = GetParam();
    EXPECT_EQ(service::TextGuard::tidy(c.answer, c.input, c.target), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Tidy, ::testing::ValuesIn(kTidy), [](const auto& info) { return std::string(info.param.name); });

TEST(Phrasebook, matchesNormalisedSentencesAndFillsPlaceholders)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(u"test.tmx"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<tmx version="1.4"><header srclang="en" datatype="plaintext" segtype="sentence" adminlang="en" o-tmf="t" creationtool="t" creationtoolversion="1"/><body>
<tu tuid="name"><tuv xml:lang="en"><seg>My name is <ph x="1" type="x-name">{name}</ph>.</seg></tuv>
<tuv xml:lang="de"><seg>Mein Name ist <ph x="1" type="x-name">{name}</ph>.</seg></tuv></tu>
<tu tuid="gm"><tuv xml:lang="en"><seg>Good morning.</seg></tuv><tuv xml:lang="de"><seg>Guten Morgen.</seg></tuv></tu>
</body></tmx>)");
    file.close();
    service::Phrasebook book;
    QString error;
    ASSERT_TRUE(book.addFile(file.fileName(), &error)) << error;
    const auto match = book.match(u"mein name ist Hans"_s, u"de"_s);
    ASSERT_TRUE(match);
    EXPECT_EQ(book.render(*match, u"en"_s), u"My name is Hans."_s);
    const auto back = book.match(u"GOOD MORNING!"_s, u"auto"_s);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->language, u"en"_s);
    EXPECT_EQ(book.render(*back, u"de"_s), u"Guten Morgen."_s);
    EXPECT_FALSE(book.match(u"The weather is fine."_s, u"en"_s));
    EXPECT_FALSE(book.addFile(dir.filePath(u"none.tmx"_s), &error));
}

namespace {

struct RestoreCase {
    const char* name;
    QString answer; ///< what the engine sent back for "See {1} for {2}."
    bool ok;
    QString expected; ///< the text when ok, else the lost word
};

const QList<RestoreCase> kRestore = {
    {"intact", u"Mira {1} para {2}."_s, true, u"Mira https://www.qrz.com/db/DL1XYZ para IC-7300."_s},
    {"moved", u"Para {2} mira {1}."_s, true, u"Para IC-7300 mira https://www.qrz.com/db/DL1XYZ."_s},
    {"lost", u"Mira {1} para nada."_s, false, u"IC-7300"_s},
};

class Restore : public ::testing::TestWithParam<RestoreCase>
{
};

} // namespace

TEST_P(Restore, putsBackWhatCameBackAndNamesWhatDidNot)
{
    const QString text = u"See https://www.qrz.com/db/DL1XYZ for IC-7300."_s;
    const service::TextGuard guard(text, service::ProtectedWords::find(text), service::KeepForm::Placeholders);
    ASSERT_EQ(guard.engineText(), u"See {1} for {2}."_s);
    const service::TextGuard::Restored restored = guard.restore(GetParam().answer, u"es"_s);
    EXPECT_EQ(restored.ok, GetParam().ok) << restored.text << restored.lost;
    EXPECT_EQ(restored.ok ? restored.text : restored.lost, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Restore, ::testing::ValuesIn(kRestore), [](const auto& info) { return std::string(info.param.name); });
