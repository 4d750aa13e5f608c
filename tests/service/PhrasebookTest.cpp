// The phrasebook's matching on TMX files of its own: what fills a placeholder, questions, sentences that read as
// several phrases, source wordings, the references of a few phrases in every language; its files; and one run on
// the shipped phrasebook.

#include "phrasebook/Phrasebook.h"
#include "QtPrinters.h"
#include "phrasebook/PhrasebookEngine.h"
#include "text/ProtectedWords.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

struct Cell {
    QString language;
    QString text; ///< "{kind}" for a placeholder of that kind
};
struct Unit {
    QString id;
    QList<Cell> cells; ///< a language given twice has two wordings, the first written as the translation
};

// A TMX file of units; a placeholder's number is the order its kind first appears in the unit's first cell.
QByteArray tmx(const QList<Unit>& units)
{
    static const QRegularExpression placeholder(u"\\{([a-z]+)\\}"_s);
    QByteArray out = R"(<?xml version="1.0" encoding="UTF-8"?>
<tmx version="1.4"><header srclang="en" datatype="plaintext" segtype="sentence" adminlang="en" o-tmf="t" creationtool="t" creationtoolversion="1"/><body>
)";
    for (const Unit& unit : units) {
        QStringList kinds;
        for (auto it = placeholder.globalMatch(unit.cells.first().text); it.hasNext();)
            kinds.append(it.next().captured(1));
        out += "<tu tuid=\"" + unit.id.toUtf8() + "\">";
        for (const Cell& cell : unit.cells) {
            QString seg;
            qsizetype at = 0;
            for (auto it = placeholder.globalMatch(cell.text); it.hasNext();) {
                const auto found = it.next();
                seg += cell.text.mid(at, found.capturedStart() - at).toHtmlEscaped();
                seg += u"<ph x=\"%1\" type=\"x-%2\">{%2}</ph>"_s.arg(kinds.indexOf(found.captured(1)) + 1)
                           .arg(found.captured(1));
                at = found.capturedEnd();
            }
            seg += cell.text.mid(at).toHtmlEscaped();
            out += "<tuv xml:lang=\"" + cell.language.toUtf8() + "\"><seg>" + seg.toUtf8() + "</seg></tuv>";
        }
        out += "</tu>\n";
    }
    return out + "</body></tmx>\n";
}

std::shared_ptr<service::Phrasebook> bookOf(const QList<Unit>& units)
{
    QString error;
    const auto read = service::TmxReader::parse(tmx(units), &error);
    EXPECT_TRUE(read) << error;
    auto book = std::make_shared<service::Phrasebook>();
    if (read)
        book->addUnits(*read);
    return book;
}

const QList<Unit> kRuleUnits = {
    {u"good-morning"_s,
        {{u"en"_s, u"Good morning."_s}, {u"de"_s, u"Guten Morgen."_s}, {u"pl"_s, u"Dzień dobry."_s},
            {u"es"_s, u"Buenos días."_s}, {u"it"_s, u"Buongiorno."_s}, {u"ja"_s, u"おはようございます。"_s}}},
    {u"good-afternoon"_s,
        {{u"en"_s, u"Good afternoon."_s}, {u"de"_s, u"Guten Tag."_s}, {u"pl"_s, u"Dzień dobry."_s},
            {u"es"_s, u"Buenas tardes."_s}, {u"it"_s, u"Buongiorno."_s}, {u"ja"_s, u"こんにちは。"_s}}},
    {u"good-evening"_s,
        {{u"en"_s, u"Good evening."_s}, {u"de"_s, u"Guten Abend."_s}, {u"es"_s, u"Buenas noches."_s},
            {u"pt"_s, u"Boa noite."_s}}},
    {u"good-night"_s,
        {{u"en"_s, u"Good night."_s}, {u"de"_s, u"Gute Nacht."_s}, {u"es"_s, u"Buenas noches."_s},
            {u"pt"_s, u"Boa noite."_s}}},
    {u"hello"_s,
        {{u"en"_s, u"Hello."_s}, {u"de"_s, u"Hallo."_s}, {u"nl"_s, u"Hallo."_s}, {u"ja"_s, u"こんにちは。"_s},
            {u"zh-CN"_s, u"你好。"_s}}},
    {u"hello-name"_s,
        {{u"en"_s, u"Hello, {name}."_s}, {u"de"_s, u"Hallo, {name}."_s}, {u"zh-CN"_s, u"你好，{name}。"_s}}},
    {u"hi-name"_s, {{u"en"_s, u"Hi {name}."_s}, {u"de"_s, u"Hi {name}."_s}}},
    {u"good-morning-name"_s, {{u"en"_s, u"Good morning, {name}."_s}, {u"ar"_s, u"صباح الخير يا {name}."_s}}},
    {u"thanks"_s, {{u"en"_s, u"Thanks."_s}, {u"de"_s, u"Danke."_s}, {u"da"_s, u"Tak."_s}}},
    {u"thanks-name"_s, {{u"en"_s, u"Thanks, {name}."_s}, {u"de"_s, u"Danke, {name}."_s}}},
    {u"yes"_s, {{u"en"_s, u"Yes."_s}, {u"de"_s, u"Ja."_s}, {u"pl"_s, u"Tak."_s}, {u"ro"_s, u"Da."_s}}},
    {u"hi"_s, {{u"en"_s, u"Hi."_s}, {u"fi"_s, u"Moi."_s}}},
    {u"name"_s,
        {{u"en"_s, u"My name is {name}."_s}, {u"en"_s, u"Name is {name}."_s}, {u"de"_s, u"Mein Name ist {name}."_s},
            {u"hi"_s, u"मेरा नाम {name} है।"_s}, {u"ja"_s, u"名前は{name}です。"_s}}},
    {u"name-here"_s, {{u"en"_s, u"{name} here."_s}, {u"de"_s, u"Hier ist {name}."_s}}},
    {u"live-in"_s,
        {{u"en"_s, u"I live in {place}."_s}, {u"de"_s, u"Ich wohne in {place}."_s},
            {u"ko"_s, u"저는 {place}에 살아요."_s}}},
    {u"rig"_s,
        {{u"en"_s, u"My rig is {rig}."_s}, {u"de"_s, u"Mein Funkgerät ist {rig}."_s},
            {u"es"_s, u"Mi equipo es {rig}."_s}}},
    {u"rig-an"_s, {{u"en"_s, u"My rig is an {rig}."_s}, {u"de"_s, u"Mein Funkgerät ist {rig}."_s}}},
    {u"antenna-a"_s, {{u"en"_s, u"My antenna is a {antenna}."_s}, {u"de"_s, u"Meine Antenne ist {antenna}."_s}}},
    {u"power-antenna"_s,
        {{u"en"_s, u"I am running {number} watts into {antenna}."_s},
            {u"de"_s, u"Ich arbeite mit {number} Watt an {antenna}."_s},
            {u"ja"_s, u"{antenna}に{number}ワットで運用しています。"_s}}},
    {u"power-watts"_s, {{u"en"_s, u"I am running {number} watts."_s}, {u"de"_s, u"Ich arbeite mit {number} Watt."_s}}},
    {u"power"_s, {{u"en"_s, u"Power is {number}."_s}, {u"de"_s, u"Die Leistung ist {number}."_s}}},
    {u"temperature"_s,
        {{u"en"_s, u"The temperature is {number} degrees."_s}, {u"de"_s, u"Die Temperatur beträgt {number} Grad."_s}}},
    {u"spot"_s, {{u"en"_s, u"See you on {band}."_s}, {u"de"_s, u"Bis bald auf {band}."_s}}},
    {u"understood"_s, {{u"en"_s, u"Understood."_s}, {u"de"_s, u"Verstanden."_s}}},
    {u"roger"_s, {{u"en"_s, u"Roger."_s}, {u"de"_s, u"Alles klar."_s}, {u"fr"_s, u"Bien reçu."_s}}},
    {u"band-open"_s, {{u"en"_s, u"The band is open."_s}, {u"de"_s, u"Das Band ist offen."_s}}},
    {u"how-are-you"_s, {{u"en"_s, u"How are you?"_s}, {u"de"_s, u"Wie geht es dir?"_s}, {u"el"_s, u"Τι κάνεις;"_s}}},
    {u"thanks-qso"_s,
        {{u"en"_s, u"Thanks for the QSO."_s}, {u"en"_s, u"Thank you for the QSO."_s},
            {u"de"_s, u"Danke für das QSO."_s}, {u"de"_s, u"Vielen Dank für das QSO."_s}}},
};

struct RuleCase {
    const char* name;
    QString text, source, target;
    QString expected; ///< empty: not served
};

const QList<RuleCase> kRules = {
    // Rig and antenna: a model name, never a word of the sentence's language.
    {"rigBroken", u"My rig is broken."_s, u"en"_s, u"de"_s, {}},
    {"rigKaputt", u"Mein Funkgerät ist kaputt."_s, u"de"_s, u"en"_s, {}},
    {"rigNuevo", u"Mi equipo es nuevo."_s, u"es"_s, u"en"_s, {}},
    {"rigModel", u"My rig is an IC-7300."_s, u"en"_s, u"de"_s, u"Mein Funkgerät ist IC-7300."_s},
    {"rigMakerAndModel", u"My rig is Yaesu FT-991A."_s, u"en"_s, u"de"_s, u"Mein Funkgerät ist Yaesu FT-991A."_s},
    {"rigMakerAlone", u"My rig is Yaesu."_s, u"en"_s, u"de"_s, {}},
    {"antennaModel", u"My antenna is a G5RV."_s, u"en"_s, u"de"_s, u"Meine Antenne ist G5RV."_s},
    {"antennaKind", u"I am running 100 watts into a dipole."_s, u"en"_s, u"de"_s, {}},
    {"antennaAfterNumber", u"I am running 100 watts into a G5RV."_s, u"en"_s, u"de"_s, {}},
    {"antennaAndNumber", u"I am running 100 watts into G5RV."_s, u"en"_s, u"de"_s,
        u"Ich arbeite mit 100 Watt an G5RV."_s},
    {"antennaAndNumberJapanese", u"G5RVに100ワットで運用しています。"_s, u"ja"_s, u"en"_s,
        u"I am running 100 watts into G5RV."_s},
    // Numbers: numerals, with a unit symbol or not; no words.
    {"number", u"I am running 100 watts."_s, u"en"_s, u"de"_s, u"Ich arbeite mit 100 Watt."_s},
    {"decimalNumber", u"I am running 2,5 watts."_s, u"en"_s, u"de"_s, u"Ich arbeite mit 2,5 Watt."_s},
    {"negativeNumber", u"The temperature is -3 degrees."_s, u"en"_s, u"de"_s, u"Die Temperatur beträgt -3 Grad."_s},
    {"numberWithSymbol", u"Power is 100 W."_s, u"en"_s, u"de"_s, u"Die Leistung ist 100 W."_s},
    {"numberWithUnitWord", u"Power is 100 watts."_s, u"en"_s, u"de"_s, {}},
    {"numberWord", u"I am running many watts."_s, u"en"_s, u"de"_s, {}},
    {"numberSpelled", u"The temperature is five degrees."_s, u"en"_s, u"de"_s, {}},
    {"band", u"See you on 20 m."_s, u"en"_s, u"de"_s, u"Bis bald auf 20 m."_s},
    {"bandWords", u"See you on the air."_s, u"en"_s, u"de"_s, {}},
    // Names: a capital does not make a common noun a name.
    {"germanNounAsName", u"Hallo, Freunde."_s, u"de"_s, u"en"_s, {}},
    {"germanNounAsName2", u"Danke, Kollege."_s, u"de"_s, u"en"_s, {}},
    {"germanNounByEnding", u"Danke, Verbindung."_s, u"de"_s, u"en"_s, {}},
    {"germanName", u"Danke, Hans."_s, u"de"_s, u"en"_s, u"Thanks, Hans."_s},
    {"germanNameByClauses", u"Hallo, Karl-Heinz."_s, u"de"_s, u"en"_s, u"Hello, Karl-Heinz."_s},
    {"englishAddress", u"Thanks, Friend."_s, u"en"_s, u"de"_s, {}},
    {"englishName", u"Thanks, Will."_s, u"en"_s, u"de"_s, u"Danke, Will."_s},
    {"lowerCase", u"Good morning, my friend."_s, u"en"_s, u"ar"_s, {}},
    {"nameIsCallsign", u"Hello, EA4ABC."_s, u"en"_s, u"de"_s, u"Hallo, EA4ABC."_s},
    {"nameIsQCode", u"Hello, QTH."_s, u"en"_s, u"de"_s, {}},
    {"nameFirstWord", u"Weather here."_s, u"en"_s, u"de"_s, {}},
    {"nameFirstWordName", u"Hans here."_s, u"en"_s, u"de"_s, u"Hier ist Hans."_s},
    {"placeOfTwoWords", u"I live in New York."_s, u"en"_s, u"de"_s, u"Ich wohne in New York."_s},
    {"placeAcrossAComma", u"I live in Madrid, Spain."_s, u"en"_s, u"de"_s, {}},
    {"placeWithApostrophe", u"I live in L’Aquila."_s, u"en"_s, u"de"_s, u"Ich wohne in L'Aquila."_s},
    {"placeWithParticle", u"I live in Frankfurt am Main."_s, u"en"_s, u"de"_s, u"Ich wohne in Frankfurt am Main."_s},
    // Lines in capitals match; what fills a name must still be one.
    {"capitalsNotAName", u"MY NAME IS NOT IMPORTANT."_s, u"en"_s, u"de"_s, {}},
    {"capitalsNotAPlace", u"I LIVE IN A SMALL TOWN."_s, u"en"_s, u"de"_s, {}},
    {"capitalsName", u"MY NAME IS HANS."_s, u"en"_s, u"de"_s, u"Mein Name ist HANS."_s},
    {"capitalsPlace", u"I LIVE IN MADRID"_s, u"en"_s, u"de"_s, u"Ich wohne in MADRID"_s},
    {"capitalsPhrase", u"GOOD MORNING."_s, u"en"_s, u"de"_s, u"Guten Morgen."_s},
    // Scripts without capitals: only a Latin name or a callsign.
    {"hindiWord", u"मेरा नाम क्या है?"_s, u"hi"_s, u"en"_s, {}},
    {"hindiWordStated", u"मेरा नाम क्या है।"_s, u"hi"_s, u"en"_s, {}},
    {"arabicWord", u"صباح الخير يا صديقي"_s, u"ar"_s, u"en"_s, {}},
    {"japaneseWord", u"名前は秘密です"_s, u"ja"_s, u"en"_s, {}},
    {"chineseWord", u"你好，朋友"_s, u"zh-CN"_s, u"en"_s, {}},
    {"koreanWord", u"저는 시골에 살아요"_s, u"ko"_s, u"en"_s, {}},
    {"japaneseLatinName", u"名前はHansです。"_s, u"ja"_s, u"en"_s, u"My name is Hans."_s},
    {"japaneseLatinWord", u"名前はFriendです。"_s, u"ja"_s, u"en"_s, {}},
    {"chineseCallsign", u"你好，EA4ABC"_s, u"zh-CN"_s, u"en"_s, u"Hello, EA4ABC"_s},
    {"koreanLatinPlace", u"저는 Seoul에 살아요."_s, u"ko"_s, u"en"_s, u"I live in Seoul."_s},
    // A question only by a question.
    {"questionStatement", u"Understood?"_s, u"en"_s, u"de"_s, {}},
    {"questionStatement2", u"Roger?"_s, u"en"_s, u"fr"_s, {}},
    {"questionStatement3", u"The band is open?"_s, u"en"_s, u"de"_s, {}},
    {"questionQuoted", u"\"Understood?\""_s, u"en"_s, u"de"_s, {}},
    {"statement", u"Understood."_s, u"en"_s, u"de"_s, u"Verstanden."_s},
    {"question", u"How are you?"_s, u"en"_s, u"de"_s, u"Wie geht es dir?"_s},
    {"questionWithoutMark", u"how are you"_s, u"en"_s, u"de"_s, u"Wie geht es dir?"_s},
    {"greekQuestion", u"Τι κάνεις;"_s, u"el"_s, u"en"_s, u"How are you?"_s},
    // One text, several phrases: served when they all say the same in the target.
    {"severalReadingsPolish", u"Dzień dobry"_s, u"pl"_s, u"en"_s, {}},
    {"severalReadingsJapanese", u"こんにちは"_s, u"ja"_s, u"en"_s, {}},
    {"severalReadingsSpanish", u"Buenas noches"_s, u"es"_s, u"en"_s, {}},
    {"severalReadingsPortuguese", u"Boa noite."_s, u"pt"_s, u"en"_s, {}},
    {"severalReadingsAgree", u"Dzień dobry!"_s, u"pl"_s, u"it"_s, u"Buongiorno."_s},
    {"severalReadingsInAClause", u"Dzień dobry, tak"_s, u"pl"_s, u"en"_s, {}},
    {"autoSeveralLanguages", u"Tak."_s, u"auto"_s, u"en"_s, {}},
    {"autoSameMeaning", u"Hallo."_s, u"auto"_s, u"en"_s, u"Hello."_s},
    {"autoWordOfAnotherLanguage", u"Moi."_s, u"auto"_s, u"en"_s, {}},
    {"autoWordOfAnotherLanguage2", u"Da."_s, u"auto"_s, u"en"_s, {}},
    {"wordOfAnotherLanguageWhenTold", u"Moi."_s, u"fi"_s, u"en"_s, u"Hi."_s},
    {"autoOneLanguage", u"Guten Morgen."_s, u"auto"_s, u"en"_s, u"Good morning."_s},
    // Source wordings: each is found, the first is written.
    {"secondWording", u"Thank you for the QSO."_s, u"en"_s, u"de"_s, u"Danke für das QSO."_s},
    {"secondWordingGerman", u"Vielen Dank für das QSO."_s, u"de"_s, u"en"_s, u"Thanks for the QSO."_s},
    {"secondWordingWithPlaceholder", u"Name is Hans."_s, u"en"_s, u"de"_s, u"Mein Name ist Hans."_s},
    {"firstWordingBack", u"Mein Name ist Hans."_s, u"de"_s, u"en"_s, u"My name is Hans."_s},
    // Ham laughter is no greeting.
    {"hiHi", u"HI HI"_s, u"en"_s, u"de"_s, {}},
    {"hiName", u"HI HANS"_s, u"en"_s, u"de"_s, u"Hi HANS"_s},
};

class Rules : public ::testing::TestWithParam<RuleCase>
{
};

} // namespace

TEST_P(Rules, servesOnlyWhatItFullyUnderstands)
{
    static const auto book = bookOf(kRuleUnits);
    const service::PhrasebookEngine engine(book, nullptr);
    const RuleCase& c = GetParam();
    EXPECT_EQ(engine.phrase(c.text, c.source, c.target, nullptr), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rules, ::testing::ValuesIn(kRules), [](const auto& info) { return std::string(info.param.name); });

TEST(Phrasebook, keepsDoubledHiAsWrittenInALineOfCapitals)
{
    QStringList found;
    for (const service::ProtectedSpan& span : service::ProtectedWords::find(u"GOOD MORNING HI HI"_s, true))
        found << span.text;
    EXPECT_EQ(found, QStringList{u"HI HI"_s});
}

namespace {

// The references of a few phrases, as the reviewers wrote them.
struct Reference {
    QString language, morning, name, howAreYou, loudAndClear;
};

const QList<Reference> kReferences = {
    {u"en"_s, u"Good morning."_s, u"My name is {name}."_s, u"How are you?"_s, u"You are loud and clear."_s},
    {u"de"_s, u"Guten Morgen."_s, u"Mein Name ist {name}."_s, u"Wie geht es dir?"_s, u"Ich höre dich laut und klar."_s},
    {u"es"_s, u"Buenos días."_s, u"Me llamo {name}."_s, u"¿Cómo estás?"_s, u"Te recibo alto y claro."_s},
    {u"fr"_s, u"Bonjour."_s, u"Je m'appelle {name}."_s, u"Comment vas-tu ?"_s, u"Je te reçois fort et clair."_s},
    {u"it"_s, u"Buongiorno."_s, u"Mi chiamo {name}."_s, u"Come stai?"_s, u"Ti ricevo forte e chiaro."_s},
    {u"pt"_s, u"Bom dia."_s, u"Meu nome é {name}."_s, u"Como vai você?"_s, u"Você está chegando alto e claro."_s},
    {u"nl"_s, u"Goedemorgen."_s, u"Mijn naam is {name}."_s, u"Hoe gaat het met je?"_s,
        u"Je komt luid en duidelijk door."_s},
    {u"ru"_s, u"Доброе утро."_s, u"Меня зовут {name}."_s, u"Как дела?"_s, u"Слышу тебя громко и чётко."_s},
    {u"pl"_s, u"Dzień dobry."_s, u"Mam na imię {name}."_s, u"Jak się masz?"_s, u"Słyszę cię głośno i wyraźnie."_s},
    {u"cs"_s, u"Dobré ráno."_s, u"Jmenuji se {name}."_s, u"Jak se máš?"_s, u"Slyším tě hlasitě a čistě."_s},
    {u"da"_s, u"Godmorgen."_s, u"Mit navn er {name}."_s, u"Hvordan har du det?"_s,
        u"Jeg hører dig højt og tydeligt."_s},
    {u"no"_s, u"God morgen."_s, u"Jeg heter {name}."_s, u"Hvordan har du det?"_s, u"Jeg hører deg høyt og klart."_s},
    {u"fi"_s, u"Hyvää huomenta."_s, u"Nimeni on {name}."_s, u"Mitä kuuluu?"_s, u"Kuulen sinut kovaa ja selvästi."_s},
    {u"sv"_s, u"God morgon."_s, u"Mitt namn är {name}."_s, u"Hur mår du?"_s, u"Jag hör dig högt och tydligt."_s},
    {u"el"_s, u"Καλημέρα."_s, u"Με λένε {name}."_s, u"Τι κάνεις;"_s, u"Σε ακούω δυνατά και καθαρά."_s},
    {u"bg"_s, u"Добро утро."_s, u"Казвам се {name}."_s, u"Как си?"_s, u"Чувам те силно и ясно."_s},
    {u"ro"_s, u"Bună dimineața."_s, u"Numele meu este {name}."_s, u"Ce mai faci?"_s, u"Te aud tare și clar."_s},
    {u"ga"_s, u"Maidin mhaith."_s, u"{name} is ainm dom."_s, u"Conas atá tú?"_s,
        u"Cloisim go hard agus go soiléir thú."_s},
    {u"cy"_s, u"Bore da."_s, u"Fy enw i yw {name}."_s, u"Sut wyt ti?"_s, u"Dw i'n dy glywed di'n uchel ac yn glir."_s},
    {u"mt"_s, u"Bonġu."_s, u"Jien jisimni {name}."_s, u"Kif inti?"_s, u"Qed nismgħek ċar u qawwi."_s},
    {u"ar"_s, u"صباح الخير."_s, u"اسمي {name}."_s, u"كيف حالك؟"_s, u"أسمعك بصوت عالٍ وواضح."_s},
    {u"hi"_s, u"सुप्रभात।"_s, u"मेरा नाम {name} है।"_s, u"आप कैसे हैं?"_s, u"आपका सिग्नल तेज़ और साफ़ आ रहा है।"_s},
    {u"ja"_s, u"おはようございます。"_s, u"名前は{name}です。"_s, u"お元気ですか？"_s, u"強く明瞭に入感しています。"_s},
    {u"zh-CN"_s, u"早上好。"_s, u"我叫{name}。"_s, u"你好吗？"_s, u"你的信号又强又清楚。"_s},
    {u"ko"_s, u"좋은 아침이에요."_s, u"제 이름은 {name}입니다."_s, u"잘 지내세요?"_s, u"크고 또렷하게 들려요."_s},
};

class References : public ::testing::TestWithParam<Reference>
{
};

} // namespace

TEST_P(References, areFoundAndWrittenInEveryLanguage)
{
    static const auto book = [] {
        QList<Unit> units{{u"good-morning"_s, {}}, {u"name"_s, {}}, {u"how-are-you"_s, {}}, {u"loud-clear"_s, {}}};
        for (const Reference& r : kReferences) {
            units[0].cells.append({r.language, r.morning});
            units[1].cells.append({r.language, r.name});
            units[2].cells.append({r.language, r.howAreYou});
            units[3].cells.append({r.language, r.loudAndClear});
        }
        return bookOf(units);
    }();
    const service::PhrasebookEngine engine(book, nullptr);
    const Reference& english = kReferences.first();
    const Reference& r = GetParam();
    const auto withName = [](QString text) { return text.replace(u"{name}"_s, u"Hans"_s); };
    const QList<std::pair<QString, QString>> phrases
        = {{r.morning, english.morning}, {withName(r.name), withName(english.name)}, {r.howAreYou, english.howAreYou},
            {r.loudAndClear, english.loudAndClear}};
    for (const auto& [own, en] : phrases) {
        EXPECT_EQ(engine.phrase(own, r.language, u"en"_s, nullptr), en);
        EXPECT_EQ(engine.phrase(en, u"en"_s, r.language, nullptr), own);
        EXPECT_EQ(engine.phrase(own, u"auto"_s, u"en"_s, nullptr), en);
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, References, ::testing::ValuesIn(kReferences), [](const auto& info) {
    return info.param.language == u"zh-CN" ? std::string("zh") : info.param.language.toStdString();
});

TEST(Phrasebook, readsEveryWordingOfALanguageInOrder)
{
    const auto units = service::TmxReader::parse(tmx({kRuleUnits.last()}), nullptr);
    ASSERT_TRUE(units);
    ASSERT_EQ(units->size(), 1);
    const auto english = units->first().segments.value(u"en"_s);
    ASSERT_EQ(english.size(), 2);
    EXPECT_EQ(english[0].parts.first().text, u"Thanks for the QSO."_s);
    EXPECT_EQ(english[1].parts.first().text, u"Thank you for the QSO."_s);
}

namespace {

// TMX texts the quick reader takes or leaves to the general one: either way the same units, or the same error.
struct ReadCase {
    const char* name;
    QByteArray body; ///< inside <body>
    QByteArray before = R"(<?xml version="1.0" encoding="UTF-8"?>)"; ///< before <tmx>
};

const QList<ReadCase> kReads = {
    {"references",
        R"(<tu tuid="a&amp;b"><tuv xml:lang="en"><seg>Tom &amp; Jerry &lt;3 &#233;t&#xE9; &quot;x&apos; &gt;</seg></tuv></tu>)"},
    {"commentsAndInstructions",
        R"(<!-- c --><tu tuid="c"><tuv xml:lang="en"><seg>Hello<!-- there --> you<?pi x?></seg></tuv></tu>)"},
    {"inlineMarkup",
        R"(<tu><tuv xml:lang="en"><seg>Hi <hi>there</hi> <bpt i="1">&lt;b&gt;</bpt>bold<ept i="1">&lt;/b&gt;</ept>, <ph x="2" type="x-name">{name}</ph></seg></tuv></tu>)"},
    {"placeholderForms",
        R"(<tu tuid="p"><tuv xml:lang="de"><seg>a<ph x="1"/>b<ph>{call}</ph>c<ph x="x" type="x-band">20m</ph></seg></tuv></tu><tu tuid="e"/>)"},
    {"oldLangAttributeAndQuotes",
        "<tu tuid='q'>\n  <tuv lang='DE-de'><seg>Guten Morgen.</seg></tuv>\n  <tuv xml:lang = "
        "\"zh-Hans\"><seg>早上好。</seg></tuv></tu>"},
    {"severalWordings",
        R"(<tu tuid="w"><tuv xml:lang="en"><seg>Thanks.</seg></tuv><tuv xml:lang="en"><seg>Thank you.</seg></tuv></tu>)"},
    {"byteOrderMark", R"(<tu><tuv xml:lang="en"><seg>Hi.</seg></tuv></tu>)", "\xEF\xBB\xBF<?xml version=\"1.0\"?>"},
    {"carriageReturns", "<tu>\r\n<tuv xml:lang=\"en\"><seg>Line\r\none</seg></tuv></tu>"},
    {"cdata", R"(<tu><tuv xml:lang="en"><seg><![CDATA[a < b]]></seg></tuv></tu>)"},
    {"doctype", R"(<tu><tuv xml:lang="en"><seg>Hi.</seg></tuv></tu>)",
        R"(<?xml version="1.0"?><!DOCTYPE tmx SYSTEM "tmx14.dtd">)"},
    {"latin1", "<tu><tuv xml:lang=\"en\"><seg>Caf\xE9.</seg></tuv></tu>",
        R"(<?xml version="1.0" encoding="ISO-8859-1"?>)"},
    {"unknownEntity", R"(<tu><tuv xml:lang="en"><seg>a&nbsp;b</seg></tuv></tu>)"},
    {"controlCharacter", R"(<tu><tuv xml:lang="en"><seg>a&#1;b</seg></tuv></tu>)"},
    {"mismatchedTags", R"(<tu><tuv xml:lang="en"><seg>Hi.</tuv></seg></tu>)"},
    {"unclosed", R"(<tu><tuv xml:lang="en"><seg>Hi.</seg></tuv>)"},
    {"ltInAttribute", R"(<tu tuid="a<b"><tuv xml:lang="en"><seg>Hi.</seg></tuv></tu>)"},
    {"textOutsideTheRoot", R"(<tu><tuv xml:lang="en"><seg>Hi.</seg></tuv></tu>)", "<?xml version=\"1.0\"?>x"},
    {"notTmx", {}, "<?xml version=\"1.0\"?><html/><tmx>"},
};

class Reads : public ::testing::TestWithParam<ReadCase>
{
};

} // namespace

TEST_P(Reads, theQuickReaderAgreesWithTheGeneralOne)
{
    const ReadCase& c = GetParam();
    const QByteArray data = c.before + "<tmx version=\"1.4\"><header/><body>" + c.body + "</body></tmx>\n";
    QString quickError, generalError;
    const auto quick = service::TmxReader::parse(data, &quickError);
    const auto general = service::TmxReader::parseGeneral(data, &generalError);
    ASSERT_EQ(quick.has_value(), general.has_value()) << quickError << generalError;
    EXPECT_EQ(quickError, generalError);
    if (quick) {
        EXPECT_EQ(*quick, *general);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Reads, ::testing::ValuesIn(kReads), [](const auto& info) { return std::string(info.param.name); });

TEST(Phrasebook, readsTheShippedFileAsTheGeneralReaderDoes)
{
    QFile file(service::Phrasebook::shippedFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    const auto quick = service::TmxReader::parse(data, nullptr);
    const auto general = service::TmxReader::parseGeneral(data, nullptr);
    ASSERT_TRUE(quick && general);
    EXPECT_GT(quick->size(), 200);
    EXPECT_TRUE(*quick == *general);
}

namespace {

// A phrasebook file of the user's, and what reading it says.
struct FileCase {
    const char* name;
    std::function<void(const QString& path, const QString& dir)> make;
    QString error; ///< empty: read
};

const QByteArray kSmallFile = tmx({kRuleUnits.first()});

const QList<FileCase> kFiles = {
    {"regular",
        [](const QString& path, const QString&) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(kSmallFile);
        },
        {}},
    {"linkToRegular",
        [](const QString& path, const QString& dir) {
            QFile file(dir + u"/elsewhere.xml"_s);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(kSmallFile);
            file.close();
            ASSERT_TRUE(QFile::link(file.fileName(), path));
        },
        {}},
    {"linkToDevZero", [](const QString& path, const QString&) { ASSERT_TRUE(QFile::link(u"/dev/zero"_s, path)); },
        u"not a regular file"_s},
    {"fifo", [](const QString& path, const QString&) { ASSERT_EQ(::mkfifo(QFile::encodeName(path), 0600), 0); },
        u"not a regular file"_s},
    {"sparseHuge",
        [](const QString& path, const QString&) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_TRUE(file.resize(service::TmxReader::kMaxFileBytes + 1));
        },
        u"larger than 16 MiB"_s},
    {"notTmx",
        [](const QString& path, const QString&) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("<html/>");
        },
        u"not a TMX file (its root is <html>)"_s},
};

class Files : public ::testing::TestWithParam<FileCase>
{
};

} // namespace

TEST_P(Files, readsRegularFilesUnderTheCapAndSaysWhyNot)
{
    QTemporaryDir home;
    const QString dir = home.filePath(u"verbolt/phrasebook"_s);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path = dir + u"/mine.tmx"_s;
    GetParam().make(path, home.path());
    // Listed, so that a file that cannot be read is said.
    EXPECT_EQ(service::Phrasebook::files({}, home.path()), QStringList{path});
    service::Phrasebook book;
    QString error;
    EXPECT_EQ(book.addFile(path, &error), GetParam().error.isEmpty()) << error;
    EXPECT_EQ(error, GetParam().error);
    EXPECT_EQ(book.size(), GetParam().error.isEmpty() ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Files, ::testing::ValuesIn(kFiles), [](const auto& info) { return std::string(info.param.name); });

TEST(Phrasebook, shippedPhrasebookServesOnlyWhatItUnderstands)
{
    auto book = std::make_shared<service::Phrasebook>();
    QString error;
    ASSERT_TRUE(book->addFile(service::Phrasebook::shippedFile(), &error)) << error;
    EXPECT_EQ(book->countsPerLanguage().size(), 25);
    const service::PhrasebookEngine engine(book, nullptr);
    const struct {
        QString text, source, target;
        bool served;
    } cases[] = {
        {u"My rig is broken."_s, u"en"_s, u"de"_s, false},
        {u"Mein Funkgerät ist kaputt."_s, u"de"_s, u"en"_s, false},
        {u"Mi equipo es nuevo."_s, u"es"_s, u"en"_s, false},
        {u"Hallo, Freunde."_s, u"de"_s, u"en"_s, false},
        {u"Danke, Kollege."_s, u"de"_s, u"en"_s, false},
        {u"MY NAME IS NOT IMPORTANT."_s, u"en"_s, u"de"_s, false},
        {u"I LIVE IN A SMALL TOWN."_s, u"en"_s, u"de"_s, false},
        {u"मेरा नाम क्या है?"_s, u"hi"_s, u"en"_s, false},
        // A formula of its own ("Good morning, my friend"), not a name filled with "my friend".
        {u"صباح الخير يا صديقي"_s, u"ar"_s, u"en"_s, true},
        {u"名前は秘密です"_s, u"ja"_s, u"en"_s, false},
        {u"你好，朋友"_s, u"zh-CN"_s, u"en"_s, true},
        {u"저는 시골에 살아요"_s, u"ko"_s, u"en"_s, false},
        {u"Understood?"_s, u"en"_s, u"de"_s, false},
        {u"Roger?"_s, u"en"_s, u"fr"_s, false},
        {u"The band is open?"_s, u"en"_s, u"de"_s, false},
        {u"HI HI"_s, u"en"_s, u"de"_s, false},
        {u"Dzień dobry"_s, u"pl"_s, u"en"_s, false},
        {u"こんにちは"_s, u"ja"_s, u"en"_s, false},
        {u"Buenas noches"_s, u"es"_s, u"en"_s, false},
        {u"Boa noite"_s, u"pt"_s, u"en"_s, false},
        {u"Tak."_s, u"auto"_s, u"en"_s, false},
        {u"Moi."_s, u"auto"_s, u"en"_s, false},
        {u"Nu."_s, u"auto"_s, u"en"_s, false},
        {u"Da."_s, u"auto"_s, u"en"_s, false},
        {u"My rig is an IC-7300."_s, u"en"_s, u"de"_s, true},
        {u"My antenna is a G5RV."_s, u"en"_s, u"de"_s, true},
        // "My rig is …" and "My rig is a/an …" are wordings of one phrase, so their shared cells have one answer.
        {u"Mein Funkgerät ist IC-7300."_s, u"de"_s, u"en"_s, true},
        {u"名前はHansです。"_s, u"ja"_s, u"en"_s, true},
        {u"Guten Morgen, mein Name ist Hans"_s, u"de"_s, u"en"_s, true},
        {u"I am running 100 watts."_s, u"en"_s, u"es"_s, true},
    };
    for (const auto& c : cases) {
        const QString answer = engine.phrase(c.text, c.source, c.target, nullptr);
        EXPECT_EQ(!answer.isEmpty(), c.served) << c.text << " -> " << answer;
        if (c.text.contains(u"IC-7300"_s) || c.text.contains(u"G5RV"_s)) {
            EXPECT_TRUE(answer.contains(u"IC-7300"_s) || answer.contains(u"G5RV"_s)) << answer;
        }
        // No English word left behind in a served answer, and no word of another script copied into English.
        if (c.served) {
            EXPECT_FALSE(answer.contains(u" an "_s) || answer.contains(u" a "_s)) << answer;
        }
        if (c.served && c.target == u"en") {
            EXPECT_TRUE(std::ranges::all_of(answer, [](QChar ch) { return ch.unicode() < 0x250; })) << answer;
        }
    }
}

namespace {

struct MarkCase {
    const char* name;
    QString line, expected; ///< expected empty: not the phrasebook's
};

const MarkCase kMarks[] = {
    {"partnerCall", u"DL1ABC~Guten Morgen."_s, u"DL1ABC~Good morning."_s},
    {"stampAndCall", u"(14:05) DL1ABC~Guten Morgen."_s, u"(14:05) DL1ABC~Good morning."_s},
    {"stampOnly", u"(14:05) Guten Morgen."_s, u"(14:05) Good morning."_s},
    {"callsRelayed", u"DL1ABC~EA4ABC~Guten Morgen."_s, u"DL1ABC~EA4ABC~Good morning."_s},
    {"markOfUnknownWords", u"DL1ABC~Das ist kaputt."_s, {}},
};

class ChatMarks : public ::testing::TestWithParam<MarkCase>
{
};

} // namespace

// The window sends a partner's line as "CALL~text", stamped or not: the sentences after the mark are still phrases.
TEST_P(ChatMarks, keepTheWindowsMarksAndServeTheSentencesAfterThem)
{
    static const auto book = [] {
        auto shipped = std::make_shared<service::Phrasebook>();
        QString error;
        shipped->addFile(service::Phrasebook::shippedFile(), &error);
        return shipped;
    }();
    service::PhrasebookEngine engine(book, nullptr);
    std::optional<service::TranslationResult> result;
    engine.translate(GetParam().line, u"de"_s, u"en"_s, [&](const service::TranslationResult& r) { result = r; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->status == service::TranslationResult::Status::Ok ? result->text : QString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChatMarks, ::testing::ValuesIn(kMarks), [](const auto& info) { return std::string(info.param.name); });
