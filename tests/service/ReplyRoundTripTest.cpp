// The reply a service writes must come out of the Verbolt client's own reply handling as the engine's text.
#include "http/ReplyEncoding.h"
#include "http/ServiceServer.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace servicetest;

namespace {

// Pieces random texts are made of: everything the client's handling reacts to, plus ordinary text.
const QStringList kPieces = {
    u"a"_qs,
    u"Zebra"_qs,
    u" "_qs,
    u"  "_qs,
    u"\""_qs,
    u"\"\""_qs,
    u"&"_qs,
    u"<"_qs,
    u">"_qs,
    u"&lt;"_qs,
    u"&gt;"_qs,
    u"&amp;"_qs,
    u"/"_qs,
    u"/&gt;"_qs,
    u"\n"_qs,
    u"\r\n"_qs,
    u"\r"_qs,
    u"~"_qs,
    u"<<"_qs,
    u"}"_qs,
    u","_qs,
    u"{"_qs,
    u"},"_qs,
    u"\u00e9"_qs,
    u"\u00f1"_qs,
    u"\u00e6"_qs,
    u"\u00f8"_qs,
    u"\u00e5"_qs,
    u"\u00c3"_qs,
    u"\u00a6"_qs,
    u"\u00b8"_qs,
    u"%"_qs,
    u"C3"_qs,
    u"%C3%A6"_qs,
    u"#"_qs,
    u";"_qs,
    u"8212"_qs,
    u"&#"_qs,
    u"347"_qs,
    u"&#8212;"_qs,
    u"&#347;"_qs,
    u"\u20ac"_qs,
    u"\u4e2d"_qs,
    u"\U0001F600"_qs,
    u"\\"_qs,
    u"\t"_qs,
    u"br"_qs,
    u" &lt;br&gt;"_qs,
    u"&lt;br /&gt;"_qs,
    u"\u00b6"_qs,
    u"\u00b1"_qs,
    u"\u00c3\u00a6"_qs,
    u"translatedText"_qs,
    u"\u0090"_qs,
    u"\u2020"_qs,
    u"\u00e2"_qs,
    u"l"_qs,
    u"\u015b"_qs,
    u"\u0105"_qs,
    u"&amp;amp;"_qs,
    u"\u2014"_qs,
    u":"_qs,
    u"'"_qs,
    u"+"_qs,
    u"|"_qs,
    u"%20"_qs,
    u"\u0001"_qs,
};

QString randomText(std::mt19937& random)
{
    std::uniform_int_distribution<int> length(0, 30);
    std::uniform_int_distribution<qsizetype> piece(0, kPieces.size() - 1);
    QString text;
    for (int n = length(random); n > 0; --n)
        text += kPieces[piece(random)];
    return text;
}

// The sequences the client cannot receive, what it gets instead, and the form engines' line breaks take.
struct Sink {
    const char* name;
    QString engine;
    QString shown;
};

const Sink kSinks[] = {
    {"end marker", u"a},b"_qs, u"a} ,b"_qs},
    {"em dash reference", u"x&#8212;y"_qs, u"x\u2014y"_qs},
    {"s acute reference", u"&#347;"_qs, u"\u015b"_qs},
    {"pilcrow", u"\u00b6 1"_qs, u"\u2761 1"_qs},
    {"plus-minus", u"5\u00b12"_qs, u"5+/-2"_qs},
    {"ae read as 1252", u"\u00c3\u00a6"_qs, u"\u00e6"_qs},
    {"o slash read as 1252", u"\u00c3\u00b8"_qs, u"\u00f8"_qs},
    {"a ring read as 1252", u"\u00c3\u00a5"_qs, u"\u00e5"_qs},
    {"six characters", u"\u00e2\u2020\u0090\u00c3\u2020l"_qs, u"\u00e6"_qs},
    {"percent-encoded ae", u"%C3%A6"_qs, u"\u00e6"_qs},
    {"lone LF", u"one\ntwo\n"_qs, u"one\r\ntwo\r\n"_qs},
};

// Texts an engine plausibly writes; each must arrive exactly.
const QString kIntact[] = {
    u""_qs,
    u"Hola, \u00bfc\u00f3mo est\u00e1s?"_qs,
    u"Er sagte \"Hallo\" und ging."_qs,
    u"\"\"\""_qs,
    u"Tom & Jerry &amp; &amp;amp; &lt;b&gt; &gt; &quot;"_qs,
    u"a < b > c <br> <br /> &lt;br&gt; &lt;br /&gt;"_qs,
    u"line one\r\nline two\r\n\r\n"_qs,
    u"lone\rCR"_qs,
    u"{\"json\": [1, 2]}"_qs,
    u"\u00e6\u00f8\u00e5 \u00c6\u00d8\u00c5 \u015b\u0105 \u4e2d\u6587 \U0001F600"_qs,
    u"100% sure, 50%C3 off, %20"_qs,
    u"C:\\path\\file \t tab"_qs,
    u"(14:05) CALL~hola"_qs,
    u"translatedText\":\"x\"} fake"_qs,
};

} // namespace

TEST(ReplyRoundTrip, randomTextsArriveInTheirClientForm)
{
    std::mt19937 random(20260806);
    for (int i = 0; i < 20000; ++i) {
        const QString text = randomText(random);
        const QByteArray reply = ReplyEncoding::translationReply(text);
        const QString expected = ReplyEncoding::clientForm(text);
        ASSERT_EQ(clientReceive(reply, false), expected) << "engine text " << text << "\nreply " << reply;
        ASSERT_EQ(clientReceive(reply, true), QString(expected).replace(u"~"_qs, u"<< "_qs)) << text;
    }
}

TEST(ReplyRoundTrip, ordinaryTextsArriveExactly)
{
    for (const QString& text : kIntact) {
        EXPECT_EQ(ReplyEncoding::clientForm(text), text);
        EXPECT_EQ(clientReceive(ReplyEncoding::translationReply(text), false), text);
    }
}

TEST(ReplyRoundTrip, theSequencesTheClientCannotReceive)
{
    for (const Sink& sink : kSinks) {
        EXPECT_EQ(ReplyEncoding::clientForm(sink.engine), sink.shown) << sink.name;
        EXPECT_EQ(clientReceive(ReplyEncoding::translationReply(sink.engine), false), sink.shown) << sink.name;
    }
    // Incoming chat: "~" is how the client protects "<<", so it always comes back as "<< ".
    EXPECT_EQ(clientReceive(ReplyEncoding::translationReply(u"CALL~hola ~"_qs), true), u"CALL<< hola << "_qs);
}

TEST(ReplyRoundTrip, replyShapes)
{
    EXPECT_EQ(ReplyEncoding::translationReply(u"Hola"_qs),
        R"({"responseData": {"translatedText":"Hola"}, "responseDetails": null, "responseStatus": 200})");
    EXPECT_EQ(ReplyEncoding::refusalReply(400, u"Bad \"pair\"\n"_qs),
        R"({"responseData": null, "responseDetails": "Bad \"pair\"\n", "responseStatus": 400})");
    // A refusal never offers the client a value, whatever its reason says.
    const QByteArray refusal = ReplyEncoding::refusalReply(400, u"no TranslatedText\":\"x\"},"_qs);
    EXPECT_FALSE(Codec::decode(refusal).contains(u"translatedtext"_qs, Qt::CaseInsensitive)) << refusal;
}

// Through a real server on a loopback port, with the core's own TranslateText building the request and cutting
// the value out of the reply: what the engine writes is what the client gets, and what the client sends is what
// the engine reads (line breaks as LF).
TEST(ReplyRoundTrip, throughTheServiceWithTheRealClientCore)
{
    FakeEngine engine;
    QString engineText;
    engine.answer = [&](const FakeEngine::Call&) { return service::TranslationResult::ok(engineText); };
    service::ServiceServer server(engine);
    server.setLogSink([](const QString&) {});
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const auto ops = opsFor(server.serverPort());

    std::mt19937 random(7);
    for (int i = 0; i < 150; ++i) {
        engineText = randomText(random);
        const QString sent = randomText(random).remove(QChar(0));
        const QString result = modGoogleTranslate::TranslateText(sent, u"English"_qs, u"Espa\u00f1ol"_qs, ops);
        QString shown = result;
        shown.replace(u" &lt;br&gt;"_qs, u"\r\n"_qs);
        modGoogleTranslate::DecodeHtml(shown);
        ASSERT_EQ(shown, ReplyEncoding::clientForm(engineText)) << "engine text " << engineText;

        ASSERT_EQ(engine.calls.size(), i + 1);
        const auto& call = engine.calls.last();
        EXPECT_EQ(call.text, QString(sent).replace(u"\r\n"_qs, u"\n"_qs).replace(u'\r', u'\n')) << sent;
        EXPECT_EQ(call.source, u"en"_qs);
        EXPECT_EQ(call.target, u"es"_qs);
    }
}
