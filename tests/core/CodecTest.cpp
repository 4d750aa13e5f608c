#include "Codec.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

struct DecodeCase {
    const char* name;
    QByteArray bytes;
    QString text;
};

void PrintTo(const DecodeCase& c, std::ostream* os)
{
    *os << c.name;
}

class CodecDecode : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(CodecDecode, TurnsBytesIntoText)
{
    EXPECT_EQ(Codec::decode(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, CodecDecode,
    testing::Values(DecodeCase{"Empty", "", ""}, DecodeCase{"Ascii", "Hallo", "Hallo"},
        DecodeCase{
            "ValidUtf8", "\xC3\xA6\xC3\xB8\xC3\xA5 \xE2\x82\xAC", QString::fromUtf16(u"\u00e6\u00f8\u00e5 \u20ac")},
        DecodeCase{"InvalidFallsBackTo1252", "\xC3\xA6\xFF", QString::fromUtf16(u"\u00c3\u00a6\u00ff")},
        DecodeCase{"EuroSign", "\x80", QString::fromUtf16(u"\u20ac")},
        DecodeCase{"Undefined90", "\x90", QString::fromUtf16(u"\u0090")},
        DecodeCase{"AllUndefined", "\x81\x8D\x8F\x90\x9D", QString::fromUtf16(u"\u0081\u008d\u008f\u0090\u009d")},
        DecodeCase{"HighRange", "\x9C\x9F\xA0\xB6", QString::fromUtf16(u"\u0153\u0178\u00a0\u00b6")},
        DecodeCase{"NulKept", QByteArray("a\0b", 3), QString::fromUtf16(u"a\0b", 3)},
        DecodeCase{"TruncatedSequence", "abc\xE2\x82", QString::fromUtf16(u"abc\u00e2\u201a")}),
    CaseName());

TEST(CodecDecodeAllBytes, KeepsOneCharacterPerByte)
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(static_cast<char>(b));
    const QString text = Codec::decode(bytes);
    ASSERT_EQ(text.size(), 256);
    for (int b = 0; b < 256; ++b) {
        if (b < 0x80 || b >= 0xA0)
            EXPECT_EQ(text.at(b).unicode(), b) << "byte " << b;
        else
            EXPECT_FALSE(text.at(b).isNull()) << "byte " << b;
    }
    EXPECT_EQ(text.at(0x80).unicode(), 0x20AC);
    EXPECT_EQ(text.at(0x9F).unicode(), 0x0178);
}

struct PercentCase {
    const char* name;
    QString text;
    QString encoded;
};

void PrintTo(const PercentCase& c, std::ostream* os)
{
    *os << c.name;
}

class CodecPercentEncode : public testing::TestWithParam<PercentCase>
{
};

TEST_P(CodecPercentEncode, EscapesEveryByteButTheUnreserved)
{
    EXPECT_EQ(Codec::percentEncode(GetParam().text), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(Cases, CodecPercentEncode,
    testing::Values(PercentCase{"Empty", "", ""}, PercentCase{"Unreserved", "AZaz09-._~", "AZaz09-._~"},
        PercentCase{"Reserved", "&=?/#+%| ", "%26%3D%3F%2F%23%2B%25%7C%20"},
        PercentCase{"LineEnds", "\r\n\n", "%0D%0A%0A"},
        PercentCase{"TwoByteUtf8", QString::fromUtf16(u"\u00e6"), "%C3%A6"},
        PercentCase{"ThreeByteUtf8", QString::fromUtf16(u"\u20ac"), "%E2%82%AC"},
        PercentCase{"SurrogatePair", QString::fromUtf16(u"\U0001F600"), "%F0%9F%98%80"}),
    CaseName());

struct LoopbackCase {
    const char* name;
    QString url;
    bool loopback;
};

void PrintTo(const LoopbackCase& c, std::ostream* os)
{
    *os << c.name;
}

class CodecLoopback : public testing::TestWithParam<LoopbackCase>
{
};

TEST_P(CodecLoopback, RecognisesThisMachine)
{
    EXPECT_EQ(Codec::isLoopbackUrl(GetParam().url), GetParam().loopback) << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(Cases, CodecLoopback,
    testing::Values(LoopbackCase{"Ipv4WithPort", "http://127.0.0.1:2738/ajax/services/language/translate?", true},
        LoopbackCase{"Localhost", "http://localhost/ajax/services/language/translate?", true},
        LoopbackCase{"LocalhostUpperCase", "http://LOCALHOST:8080/", true},
        LoopbackCase{"Ipv6", "http://[::1]:80/", true}, LoopbackCase{"WholeNet", "http://127.255.0.9/", true},
        LoopbackCase{"UserInfo", "http://user@127.0.0.1/", true}, LoopbackCase{"NoPath", "http://127.0.0.1", true},
        LoopbackCase{"OtherNet", "http://128.0.0.1/", false},
        LoopbackCase{"NameStartingWith127", "http://127.example.com/", false},
        LoopbackCase{"LoopbackAsSubdomain", "http://127.0.0.1.example.com/", false},
        LoopbackCase{"LocalhostAsSubdomain", "http://localhost.example.com/", false},
        LoopbackCase{"LoopbackInPath", "http://example.com/127.0.0.1", false},
        LoopbackCase{"OctetTooLarge", "http://127.0.0.256/", false},
        LoopbackCase{"AnyAddress", "http://0.0.0.0/", false}, LoopbackCase{"OtherIpv6", "http://[::2]/", false},
        LoopbackCase{"LoopbackAfterFragment", "http://evil.example#@127.0.0.1/", false},
        LoopbackCase{"LoopbackAfterQuery", "http://evil.example?@127.0.0.1/", false},
        LoopbackCase{"SignedOctet", "http://+127.0.0.1/", false},
        LoopbackCase{"OctalLookingOctet", "http://0127.0.0.1/", false}, LoopbackCase{"NoScheme", "127.0.0.1", false},
        LoopbackCase{"Empty", "", false}),
    CaseName());

} // namespace
