#include "OnAirText.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

// A mode of capitals, digits and a little punctuation, as the keyboard modes of the air are.
bool capitals(char32_t c)
{
    return (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9')
        || (c < 0x80 && QStringView(u" .,?!'\"-/").contains(QChar(c)));
}

// A mode carrying all of Latin-1, both cases.
bool latin1(char32_t c)
{
    return c >= 0x20 && c <= 0xff && c != 0x7f;
}

struct FitCase {
    const char* name;
    bool (*carries)(char32_t);
    QString from;
    QString to;
    friend void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }
};

class FitText : public ::testing::TestWithParam<FitCase>
{
};

TEST_P(FitText, SendsWhatTheModeCarries)
{
    const onair::Fitted fitted = onair::fitText(GetParam().from, GetParam().carries);
    EXPECT_TRUE(fitted.ok()) << fitted.refusal.toStdString();
    EXPECT_EQ(fitted.text, GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(Fitted, FitText,
    ::testing::Values(FitCase{"CarriedAsIs", latin1, u"Hola, ¿qué tal?"_s, u"Hola, ¿qué tal?"_s},
        FitCase{"CapitalsOnly", capitals, u"Good morning, 73!"_s, u"GOOD MORNING, 73!"_s},
        FitCase{"AccentsDropped", capitals, u"Ça va très bien, señor Müller"_s, u"CA VA TRES BIEN, SENOR MULLER"_s},
        FitCase{"DecomposedAccentsDropped", capitals, u"e\u0301te\u0301"_s, u"ETE"_s},
        FitCase{"StandIns", capitals, u"Straße – „gut“ ¿sí? Øre Łódź"_s, u"STRASSE - \"GUT\" SI? ORE LODZ"_s},
        FitCase{"CompatibilityForms", capitals, u"ﬁne Ａ² ⅷ"_s, u"FINE A2 VIII"_s},
        FitCase{"SpacesAndControls", capitals, u"a\tb\u00a0c\u200bd\u00ade"_s, u"A B CDE"_s},
        FitCase{"PunctuationLeftOut", capitals, u"don’t; a:b (yes) ok…"_s, u"DON'T A B YES OK..."_s},
        FitCase{"ApostropheLeftOut", [](char32_t c) { return c != U'\'' && capitals(c); }, u"don't"_s, u"DONT"_s},
        FitCase{"OtherDigits", capitals, u"٣ ४"_s, u"3 4"_s},
        // ICAO Doc 9303
        FitCase{"Russian", capitals, u"Привет, как дела? Щука, объём"_s, u"PRIVET, KAK DELA? SHCHUKA, OBIEEM"_s},
        FitCase{"RussianCase", latin1, u"Жук ЖУК Юля ЩИ"_s, u"Zhuk ZHUK Iulia SHCHI"_s},
        FitCase{"Ukrainian", latin1, u"Київ, ґанок, Європа"_s, u"Kiiv, ganok, Ievropa"_s},
        FitCase{"Serbian", latin1, u"Љубљана, ђак, џеп"_s, u"Ljubljana, dak, dzep"_s},
        // ELOT 743
        FitCase{"Greek", latin1, u"Καλημέρα, φίλε!"_s, u"Kalimera, file!"_s},
        FitCase{"GreekPairs", latin1, u"ευχαριστώ αύριο ούτε Άγγελος"_s, u"efcharisto avrio oute Angelos"_s},
        FitCase{"GreekDiaeresis", latin1, u"προϋπόθεση"_s, u"proypothesi"_s},
        FitCase{"GreekCapitals", capitals, u"ΘΕΣΣΑΛΟΝΙΚΗ Ψάρι"_s, u"THESSALONIKI PSARI"_s}),
    CaseName());

struct RefuseCase {
    const char* name;
    QString from;
    QString refusal;
    friend void PrintTo(const RefuseCase& c, std::ostream* os) { *os << c.name; }
};

class RefuseText : public ::testing::TestWithParam<RefuseCase>
{
};

TEST_P(RefuseText, SaysWhatCannotGo)
{
    const onair::Fitted fitted = onair::fitText(GetParam().from, capitals);
    EXPECT_FALSE(fitted.ok());
    EXPECT_EQ(fitted.refusal, GetParam().refusal);
    EXPECT_TRUE(fitted.text.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Refused, RefuseText,
    ::testing::Values(
        RefuseCase{"Chinese", u"hello 你好"_s, u"Chinese characters cannot be sent in this mode (“你”)"_s},
        RefuseCase{"Japanese", u"こんにちは"_s, u"Japanese kana cannot be sent in this mode (“こ”)"_s},
        RefuseCase{"Korean", u"안녕"_s, u"Korean Hangul cannot be sent in this mode (“안”)"_s},
        RefuseCase{"Arabic", u"مرحبا"_s, u"Arabic script cannot be sent in this mode (“م”)"_s},
        RefuseCase{"Devanagari", u"नमस्ते"_s, u"Devanagari script cannot be sent in this mode (“न”)"_s},
        RefuseCase{"Emoji", u"73 😀"_s, u"“😀” (U+1F600) cannot be sent in this mode"_s},
        RefuseCase{"UncarriedSymbol", u"a © b"_s, u"“©” (U+00A9) cannot be sent in this mode"_s}),
    CaseName());

} // namespace
