#include "ReplyEngine.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

struct EngineCase {
    const char* name;
    const char* reply;
    const char* id;
    bool online;
    const char* provider;
};

void PrintTo(const EngineCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReplyEngineRead : public testing::TestWithParam<EngineCase>
{
};

TEST_P(ReplyEngineRead, SaysWhichEngineAnsweredAndWhetherTheTextWentOnline)
{
    const EngineCase& c = GetParam();
    const modGoogleTranslate::ReplyEngine engine = modGoogleTranslate::readReplyEngine(QString::fromUtf8(c.reply));
    EXPECT_EQ(engine.id, QString::fromUtf8(c.id));
    EXPECT_EQ(engine.online, c.online);
    EXPECT_EQ(engine.provider, QString::fromUtf8(c.provider));
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplyEngineRead,
    testing::Values(
        EngineCase{"Online",
            R"({"responseData": {"translatedText":"Hallo"}, "responseDetails": null, "responseStatus": 200,)"
            R"( "engine": {"id": "mymemory", "name": "MyMemory", "online": true,)"
            R"( "provider": "MyMemory (Translated), api.mymemory.translated.net"}})",
            "mymemory", true, "MyMemory (Translated), api.mymemory.translated.net"},
        EngineCase{"Offline",
            R"({"responseData": {"translatedText":"hola"}, "responseStatus": 200,)"
            R"( "engine": {"id": "apertium", "name": "Apertium", "online": false, "provider": ""}})",
            "apertium", false, ""},
        EngineCase{
            "NoEngineField", R"({"responseData": {"translatedText":"hola"}, "responseStatus": 200})", "", false, ""},
        EngineCase{"OnlineAsText", R"({"engine": {"id": "deepl", "online": "true"}})", "deepl", false, ""},
        EngineCase{"OnlineWithoutId", R"({"engine": {"online": true}})", "", false, ""},
        EngineCase{"NotJson", "<html>Not found</html>", "", false, ""}),
    CaseName());

} // namespace
