// The pieces of verbolt-fldigi that read fldigi: its XML-RPC replies, and the receive pane cut into the partner's
// lines.
#include "EchoFilter.h"
#include "LineAssembler.h"
#include "PartnerCall.h"
#include "XmlRpc.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct ReplyCase {
    const char* name;
    QByteArray body;
    QVariant value;
    bool ok;
};

class XmlRpcReplyTest : public testing::TestWithParam<ReplyCase>
{
};

TEST_P(XmlRpcReplyTest, Decodes)
{
    const ReplyCase& c = GetParam();
    const xmlrpc::Reply reply = xmlrpc::decodeReply(c.body);
    EXPECT_EQ(reply.ok(), c.ok) << reply.error.toStdString();
    if (c.ok)
        EXPECT_EQ(reply.value, c.value);
    else
        EXPECT_FALSE(reply.error.isEmpty());
}

QByteArray response(const QByteArray& value)
{
    return "<?xml version=\"1.0\"?><methodResponse><params><param><value>" + value
        + "</value></param></params></methodResponse>";
}

INSTANTIATE_TEST_SUITE_P(Replies, XmlRpcReplyTest,
    testing::Values(
        // get_rx answers in base64: UTF-8 bytes of the pane, a line end among them.
        ReplyCase{"base64", response("<base64>" + QByteArray("CQ de EA4XYZ\n").toBase64() + "</base64>"),
            QByteArray("CQ de EA4XYZ\n"), true},
        ReplyCase{"string", response("<string>BPSK31</string>"), QString("BPSK31"), true},
        ReplyCase{"bareString", response("DL1ABC"), QString("DL1ABC"), true},
        ReplyCase{"entities", response("<string>a &amp; b &lt;c&gt;</string>"), QString("a & b <c>"), true},
        ReplyCase{"int", response("<int>42</int>"), 42, true}, ReplyCase{"i4", response("<i4>-7</i4>"), -7, true},
        ReplyCase{"fault",
            "<methodResponse><fault><value><struct><member><name>faultCode</name><value><int>-1</int></value>"
            "</member><member><name>faultString</name><value><string>No such method</string></value>"
            "</member></struct></value></fault></methodResponse>",
            {}, false},
        ReplyCase{"notXml", "HTTP/1.1 garbage", {}, false},
        ReplyCase{"notAReply", "<methodCall><methodName>x</methodName></methodCall>", {}, false}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return info.param.name; });

TEST(LineAssemblerTest, LineEndsAndPauses)
{
    LineAssembler lines(4000ms);
    // Characters as fldigi decodes them, a few at a time; a line end completes the line at once.
    EXPECT_TRUE(lines.add("CQ ", 1000ms).isEmpty());
    EXPECT_EQ(lines.add("de EA4XYZ\nhel", 1500ms), QStringList{"CQ de EA4XYZ"});
    // Not yet a pause: the line goes on.
    EXPECT_FALSE(lines.idle(5000ms).has_value());
    EXPECT_TRUE(lines.add("lo ", 5000ms).isEmpty());
    EXPECT_FALSE(lines.idle(8999ms).has_value());
    EXPECT_EQ(lines.idle(9000ms), std::optional<QString>("hello"));
    EXPECT_FALSE(lines.idle(20000ms).has_value());
    // Empty lines and a CR LF are not lines of their own.
    EXPECT_EQ(lines.add("\r\n\nok\r\n", 21000ms), QStringList{"ok"});
}

struct EchoCase {
    const char* name;
    const char* sent;
    std::vector<std::pair<const char*, bool>> chunks; // read text, fldigi transmitting then
    const char* partner;
};

class EchoFilterTest : public testing::TestWithParam<EchoCase>
{
};

TEST_P(EchoFilterTest, LeavesOutOwnText)
{
    const EchoCase& c = GetParam();
    EchoFilter filter;
    filter.expect(c.sent);
    QString partner;
    for (const auto& [chars, transmitting] : c.chunks)
        partner += filter.partnerText(chars, transmitting);
    // Whitespace left over from an echo makes no line: the assembler drops empty lines.
    EXPECT_EQ(partner.trimmed(), QString(c.partner));
}

INSTANTIATE_TEST_SUITE_P(Echoes, EchoFilterTest,
    testing::Values(EchoCase{"whileTransmitting", "hola que tal", {{"hola q", true}, {"ue tal\n", true}}, ""},
        // The echo read only after the carrier went: still this station's, line ends its own way.
        EchoCase{"afterTransmit", "hola\nque tal", {{"HOLA QUE", false}, {" TAL\r\n", false}}, ""},
        EchoCase{"partnerAfterEcho", "hola", {{"hola\n", true}, {"EA4XYZ: bien", false}}, "EA4XYZ: bien"},
        EchoCase{"noEchoCame", "hola", {{"buenas tardes", false}}, "buenas tardes"},
        EchoCase{"nothingSent", "", {{"cq cq", false}}, "cq cq"}),
    [](const testing::TestParamInfo<EchoCase>& info) { return info.param.name; });

TEST(PartnerCallTest, FromText)
{
    const std::vector<std::tuple<const char*, const char*, const char*>> cases = {
        {"EA4ABC de DL1XYZ pse k", "", "DL1XYZ"},
        {"cq cq de ea4xyz/p k", "", "EA4XYZ/P"},
        {"DL1XYZ de EA4ABC", "EA4ABC", ""},
        {"de la casa", "", ""},
        {"hello there", "", ""},
    };
    for (const auto& [text, ignored, call] : cases)
        EXPECT_EQ(partnercall::fromText(text, ignored), QString(call)) << text;
}

} // namespace
