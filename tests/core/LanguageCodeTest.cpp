#include "QtPrinters.h"
#include "modGoogleTranslate.h"

#include <gtest/gtest.h>

#include <set>

using modGoogleTranslate::LanguageCode;

namespace {

struct CodeCase {
    const char* name;
    QString displayName;
    QString code;
};

void PrintTo(const CodeCase& c, std::ostream* os)
{
    *os << c.name;
}

class LanguageCodeLookup : public testing::TestWithParam<CodeCase>
{
};

TEST_P(LanguageCodeLookup, YieldsTheCodeOrAuto)
{
    EXPECT_EQ(LanguageCode(GetParam().displayName), GetParam().code);
}

// Every key of the code table, as the user may pick or type it.
INSTANTIATE_TEST_SUITE_P(Keys, LanguageCodeLookup,
    testing::Values(CodeCase{"Arabic", "Arabic", "ar"}, CodeCase{"Bulgarian", "Bulgarian", "bg"},
        CodeCase{"Czech", "Czech", "cs"}, CodeCase{"Danish", "Danish", "da"}, CodeCase{"Dutch", "Dutch", "nl"},
        CodeCase{"English", "English", "en"}, CodeCase{"Finsk", "Finsk", "fi"}, CodeCase{"French", "French", "fr"},
        CodeCase{"German", "German", "de"}, CodeCase{"Greek", "Greek", "el"}, CodeCase{"Hindi", "Hindi", "hi"},
        CodeCase{"Irish", "Irish", "ga"}, CodeCase{"Italian", "Italian", "it"}, CodeCase{"Japanese", "Japanese", "ja"},
        CodeCase{"Kinisisk", "Kinisisk", "zh-CN"}, CodeCase{"Koreansk", "Koreansk", "ko"},
        CodeCase{"Maltese", "Maltese", "mt"}, CodeCase{"Norwegian", "Norwegian", "no"},
        CodeCase{"Polish", "Polish", "pl"}, CodeCase{"Portuguese", "Portuguese", "pt"},
        CodeCase{"portuguese", "portuguese", "pt"}, CodeCase{"Romanian", "Romanian", "ro"},
        CodeCase{"Russian", "Russian", "ru"}, CodeCase{"Welsh", "Welsh", "cy"},
        CodeCase{"Espanol", QString::fromUtf16(u"Espa\u00f1ol"), "es"}, CodeCase{"Swedish", "Swedish", "sv"}),
    CaseName());

// Near misses: the comparison is exact, so none of these is a key.
INSTANTIATE_TEST_SUITE_P(Traps, LanguageCodeLookup,
    testing::Values(CodeCase{"PortugueseCapitals", "PORTUGUESE", "auto"}, CodeCase{"LowerCase", "english", "auto"},
        CodeCase{"UpperCase", "ENGLISH", "auto"}, CodeCase{"LeadingSpace", " English", "auto"},
        CodeCase{"TrailingSpace", "English ", "auto"}, CodeCase{"TrailingNewline", "English\r\n", "auto"},
        CodeCase{"CombiningTilde", QString::fromUtf16(u"Espan\u0303ol"), "auto"}, CodeCase{"PlainN", "Espanol", "auto"},
        CodeCase{"Empty", "", "auto"}, CodeCase{"TwoLetterCode", "de", "auto"},
        CodeCase{"ChineseCode", "zh-CN", "auto"}, CodeCase{"AutoTyped", "auto", "auto"},
        CodeCase{"EnglishName", "Finnish", "auto"}, CodeCase{"Chinese", "Chinese", "auto"},
        CodeCase{"Spanish", "Spanish", "auto"}),
    CaseName());

TEST(LanguageNames, EveryListedNameHasItsOwnCode)
{
    std::set<QString> codes;
    for (const QStringView name : modGoogleTranslate::LanguageNames) {
        const QString code = LanguageCode(name.toString());
        EXPECT_NE(code, QStringLiteral("auto")) << name.toString();
        EXPECT_TRUE(codes.insert(code).second) << "code " << code << " given twice";
    }
    EXPECT_EQ(codes.size(), 23u);
}

} // namespace
