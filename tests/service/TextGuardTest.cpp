// The word guard on its own: an unchanged answer gives the text back exactly in every keep form, every protected word
// is kept however many there are, and the capitals Apertium adds after a greeting are taken back.
#include "text/TextGuard.h"
#include "QtPrinters.h"
#include "text/ProtectedWords.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using service::KeepForm;
using service::TextGuard;

namespace {

const KeepForm kForms[]
    = {KeepForm::Placeholders, KeepForm::XmlIgnoredTags, KeepForm::HtmlNoTranslate, KeepForm::PassThrough};

TextGuard guardOf(const QString& text, KeepForm form)
{
    return TextGuard(text, service::ProtectedWords::find(text), form);
}

struct SameCase {
    const char* name;
    QString text;
};

const SameCase kSame[] = {
    {"markAfterProtectedWord", u"EA4ABC@home"_s},
    {"ideographicSpace", u"Hola\u3000"_s},
    {"ideographicSpaceFirst", u"\u3000Hola EA4ABC"_s},
    {"tabs", u"Hola\t\tamigo"_s},
    {"guardMarkers", u"\uE000x\uE001 y \uE100\uE101 EA4ABC \uE7FF"_s},
    {"placeholdersTyped", u"see {1} and { 2 } EA4ABC"_s},
    {"markup", u"Tom &amp; Jerry <b>EA4ABC</b> &lt;x id=\"1\"&gt;"_s},
    {"leadAndTrail", u"  73 de EA4ABC  "_s},
    {"spaceBeforePunctuation", u"Hola , amigo ( EA4ABC ) !"_s},
    {"apertiumMarksTyped", u"*word #tag @user EA4ABC"_s},
    {"carets", u"Muy bien, gracias ^_^ ^ hasta luego ^"_s},
    {"reports", u"5/9 5/9 5/9 "_s},
    {"greeting", u"Hello my friend, Hi there EA4ABC"_s},
};

class SameAnswer : public ::testing::TestWithParam<SameCase>
{
};

} // namespace

TEST_P(SameAnswer, givesTheTextBackInEveryForm)
{
    for (const KeepForm form : kForms) {
        SCOPED_TRACE(int(form));
        const TextGuard guard = guardOf(GetParam().text, form);
        const TextGuard::Restored restored = guard.restore(guard.engineText(), u"es"_s);
        ASSERT_TRUE(restored.ok) << restored.lost;
        EXPECT_EQ(restored.text, GetParam().text);
        // The guard's own markers never reach an engine as the text's characters (the markup forms carry them
        // inside the tags the engine leaves alone).
        if (form == KeepForm::Placeholders) {
            EXPECT_FALSE(guard.engineText().contains(QChar(0xE000))) << guard.engineText();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SameAnswer, ::testing::ValuesIn(kSame), [](const auto& info) { return std::string(info.param.name); });

TEST(TextGuard, keepsEveryProtectedWordOfALongLine)
{
    // Well past the private-use characters the guard once gave each word.
    const QString text = u"EA4ABC "_s.repeated(2000);
    for (const KeepForm form : kForms) {
        SCOPED_TRACE(int(form));
        const TextGuard guard = guardOf(text, form);
        ASSERT_EQ(guard.spans().size(), 2000);
        EXPECT_FALSE(guard.engineText().contains(u"EA4ABC EA4ABC"_s));
        const TextGuard::Restored restored = guard.restore(guard.engineText(), u"es"_s);
        ASSERT_TRUE(restored.ok) << restored.lost;
        EXPECT_EQ(restored.text, text);
    }
    // One word lost among them is named.
    const TextGuard guard = guardOf(text, KeepForm::Placeholders);
    const TextGuard::Restored restored
        = guard.restore(QString(guard.engineText()).replace(u"{1500}"_s, u"x"_s), u"es"_s);
    EXPECT_FALSE(restored.ok);
    EXPECT_EQ(restored.lost, u"EA4ABC"_s);
}

namespace {

struct ApertiumAnswerCase {
    const char* name;
    QString text;
    QString answer; ///< %1, %2: the markers of the first and second protected word
    QString target;
    QString expected;
};

const ApertiumAnswerCase kApertiumAnswers[] = {
    {"capitalAfterGreeting", u"Hello my friend"_s, u"Hola Mi amigo"_s, u"es"_s, u"Hola mi amigo"_s},
    {"capitalAfterTwoWordGreeting", u"Good morning my friend"_s, u"Buenos días Mi amigo"_s, u"es"_s,
        u"Buenos días mi amigo"_s},
    {"capitalBeforeCallsign", u"Hi there EA4ABC"_s, u"Hola Allí %1"_s, u"es"_s, u"Hola allí EA4ABC"_s},
    {"greetingInSecondSentence", u"The cat is black. Hello my friend"_s, u"El gato es negro. Hola Mi amigo"_s, u"es"_s,
        u"El gato es negro. Hola mi amigo"_s},
    {"thankYouIntoEnglish", u"Gracias amigo"_s, u"Thank you Fellow"_s, u"en"_s, u"Thank you fellow"_s},
    {"capitalAfterCallsign", u"EA4ABC here, my name is Juan"_s, u"%1 Aquí, mi nombre es Juan"_s, u"es"_s,
        u"EA4ABC aquí, mi nombre es Juan"_s},
    {"capitalAfterAt", u"EA4ABC@home"_s, u"%1@Casa"_s, u"es"_s, u"EA4ABC@casa"_s},
    {"nameKept", u"Hello John"_s, u"Hola John"_s, u"es"_s, u"Hola John"_s},
    {"onlyRightAfterTheGreeting", u"Hello in London"_s, u"Hola en Londres"_s, u"es"_s, u"Hola en Londres"_s},
    {"englishIm", u"Hola estoy bien"_s, u"Hello I'm fine"_s, u"en"_s, u"Hello I'm fine"_s},
    {"translatedNameWithoutGreeting", u"I love London"_s, u"Amo Londres"_s, u"es"_s, u"Amo Londres"_s},
    {"afterComma", u"Hello, my friend"_s, u"Hola, Mi amigo"_s, u"es"_s, u"Hola, Mi amigo"_s},
    {"englishI", u"Hola yo soy Juan"_s, u"Hello I am Juan"_s, u"en"_s, u"Hello I am Juan"_s},
    {"germanNouns", u"Hello friend"_s, u"Hallo Freund"_s, u"de"_s, u"Hallo Freund"_s},
    {"unknownWordMark", u"The xyzzy is here"_s, u"El *xyzzy es aquí"_s, u"es"_s, u"El xyzzy es aquí"_s},
    {"caretsKept", u"Hasta luego ^ ^_^"_s, u"See you later %1 %2"_s, u"en"_s, u"See you later ^ ^_^"_s},
};

class ApertiumAnswer : public ::testing::TestWithParam<ApertiumAnswerCase>
{
};

} // namespace

TEST_P(ApertiumAnswer, isRestoredAndTidied)
{
    const ApertiumAnswerCase& c = GetParam();
    const TextGuard guard = guardOf(c.text, KeepForm::PassThrough);
    const auto marker = [](int n) { return QChar(0xE000) + QString::number(n) + QChar(0xE001); };
    const QString answer = c.answer.contains(u"%2"_s) ? c.answer.arg(marker(1), marker(2))
        : c.answer.contains(u"%1"_s)                  ? c.answer.arg(marker(1))
                                                      : c.answer;
    const TextGuard::Restored restored = guard.restore(answer, c.target);
    ASSERT_TRUE(restored.ok) << restored.lost;
    EXPECT_EQ(restored.text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ApertiumAnswer, ::testing::ValuesIn(kApertiumAnswers),
    [](const auto& info) { return std::string(info.param.name); });
