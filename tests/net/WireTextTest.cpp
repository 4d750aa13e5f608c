#include "LoopbackServer.h"
#include "PageFetch.h"
#include "ProxyEnvironment.h"
#include "QtPrinters.h"
#include "http.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

enum class Way { PageFetch, FormPost };

struct TextCase {
    const char* name;
    QByteArray bytes;
    QString text;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << c.name;
}

class WireText : public ::testing::TestWithParam<std::tuple<Way, TextCase>>
{
protected:
    static QString fetch(Way way, const LoopbackServer& server)
    {
        if (way == Way::PageFetch)
            return net::GetUrl(QString::fromLatin1("http://" + server.hostAndPort() + "/"));
        http::HttpOpenPost(QString::fromLatin1(server.hostAndPort()), QStringLiteral("/EP/stats.php"));
        return http::HttpSendPost();
    }

    ProxyEnvironment m_environment;
};

TEST_P(WireText, ReplyBytesBecomeText)
{
    const auto& [way, textCase] = GetParam();
    LoopbackServer server(httpReply("200 OK", textCase.bytes));
    EXPECT_EQ(fetch(way, server), textCase.text);
}

INSTANTIATE_TEST_SUITE_P(Replies, WireText,
    ::testing::Combine(::testing::Values(Way::PageFetch, Way::FormPost),
        ::testing::Values(TextCase{"ValidUtf8", "\xC3\xA6 og \xC3\xB8", QStringLiteral("\u00e6 og \u00f8")},
            TextCase{"Windows1252", "\x90 abc \xE6\x80", QStringLiteral("\u0090 abc \u00e6\u20ac")},
            TextCase{"UndefinedBytesKept", "\x81\x8D\x8F\x90\x9D", QStringLiteral("\u0081\u008d\u008f\u0090\u009d")},
            TextCase{"MixedIsNotUtf8", "\xC3\xA6\x90", QStringLiteral("\u00c3\u00a6\u0090")},
            TextCase{"NulKept", QByteArray("a\0b", 3), QString::fromLatin1("a\0b", 3)})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Way::PageFetch ? "Get_" : "Post_") + std::get<1>(info.param).name;
    });

} // namespace
