#include "phrasebook/SlotValues.h"

#include "text/ProtectedWords.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace service {

namespace {

// Words a QSO puts where a name or a place could stand: articles and pronouns, the forms of address ("friends",
// "Kollege"), and what people answer instead of a name ("secret", "not important", "a small town"). The words
// of the phrases themselves are added from the phrasebook.
struct CommonWords {
    const char* language;
    const char* words; ///< lower case, separated by spaces
};

const CommonWords kCommonWords[] = {
    {
        "en",
        "a an the my your our his her their this that these those it its not no yes very so too and or but of in on "
        "at to for from with by here there home secret private unknown important unimportant nothing nobody none "
        "someone somebody anyone anybody everyone everybody all friend friends buddy buddies mate mates pal pals "
        "sir madam dear guys folks people colleague colleagues man woman boy girl old new big small little good bad "
        "great nice fine best town city village country countryside house place area region state north south east "
        "west central world earth mr mrs ms dr om yl xyl ham hams radio amateur operator station rig antenna name "
        "call sign callsign weather sunny rainy cold hot warm tired busy ok okay sure sorry thanks thank please "
        "hello hi hey bye welcome what who where why how when which whose whatever everything something anything "
        "same also just only still again now today tonight tomorrow well",
    },
    {
        "de",
        "ein eine einer einem einen der die das den dem des mein meine meinem meinen meiner dein deine unser unsere "
        "euer eure sein seine ihr ihre nicht kein keine ja nein sehr und oder aber hier dort da zu hause geheim "
        "unwichtig wichtig unbekannt privat nichts niemand jemand alle allen allerseits zusammen freund freunde "
        "freundin freundinnen kollege kollegen kollegin kolleginnen funkfreund funkfreunde funkfreundin funkkollege "
        "funkkollegen funkamateur funkamateure funker leute liebe lieber liebes herr herren frau frauen damen mann "
        "männer junge jungs mädels kamerad kameraden nachbar nachbarn partner chef meister welt stadt dorf land haus "
        "heimat gegend region norden süden osten westen mitte familie bruder schwester vater mutter papa mama opa "
        "oma onkel tante sohn tochter station funkgerät antenne name rufzeichen wetter sonne regen danke bitte "
        "hallo tschüss willkommen was wer wo warum wie wann welche grüße gruß team runde gruppe gemeinde kleinstadt "
        "großstadt kleinen kleine großen große schöne schönen alter alte neue neuen gut gute",
    },
    {
        "es",
        "un una unos unas el la los las lo mi mis tu tus su sus nuestro nuestra no sí si muy y o pero aquí allí "
        "casa secreto privado desconocido importante nada nadie alguien todos todas amigo amiga amigos amigas colega "
        "colegas compañero compañera compañeros señor señora señores querido querida chico chica chicos hombre "
        "mujer gente mundo ciudad pueblo país campo zona región norte sur este oeste familia hermano hermana radio "
        "estación equipo antena nombre tiempo gracias hola qué quién dónde cómo cuándo pequeño pequeña grande",
    },
    {
        "fr",
        "un une le la les l des du mon ma mes ton ta tes son sa ses notre votre nos vos ne pas non oui très et ou "
        "mais ici là maison secret privé inconnu important rien personne tous toutes tout ami amie amis amies "
        "copain copains copine collègue collègues camarade monsieur madame messieurs cher chère chers homme femme "
        "gens monde ville village pays campagne région nord sud est ouest famille frère sœur radio station antenne "
        "nom temps merci bonjour salut quoi qui où comment quand petit petite grand grande moi toi lui",
    },
    {
        "it",
        "un uno una il lo la i gli le mio mia miei mie tuo tua suo sua nostro non sì molto e o ma qui qua lì casa "
        "segreto privato sconosciuto importante niente nessuno tutti tutte amico amica amici amiche collega colleghi "
        "compagno signore signora signori caro cara ragazzi uomo donna gente mondo città paese campagna regione nord "
        "sud est ovest famiglia fratello sorella radio stazione antenna nome tempo grazie ciao cosa chi dove come "
        "quando piccolo piccola grande",
    },
    {
        "pt",
        "um uma o a os as meu minha meus minhas teu tua seu sua nosso nossa não sim muito e ou mas aqui ali lá casa "
        "segredo privado desconhecido importante nada ninguém alguém todos todas amigo amiga amigos amigas colega "
        "colegas companheiro senhor senhora caro cara querido querida pessoal homem mulher gente mundo cidade aldeia "
        "vila país campo região norte sul leste oeste família irmão irmã rádio estação antena nome tempo obrigado "
        "obrigada olá oi que quem onde como quando pequeno pequena grande",
    },
    {
        "nl",
        "een de het mijn jouw je uw zijn haar ons onze niet geen ja nee heel zeer en of maar hier daar thuis huis "
        "geheim privé onbekend belangrijk niets niemand iemand iedereen allemaal alle vriend vrienden vriendin "
        "collega collega's maat heer mevrouw meneer beste lieve man vrouw mensen wereld stad dorp land platteland "
        "regio noord zuid oost west familie broer zus radio station antenne naam weer dank bedankt hallo hoi wat "
        "wie waar hoe wanneer klein kleine groot grote nu",
    },
    {
        "ru",
        "мой моя мои твой твоя наш ваш не нет да очень и или но здесь там дома дом секрет тайна неважно важно "
        "неизвестно ничего никто все всем друг друзья друже дружище коллега коллеги товарищ господин госпожа "
        "дорогой дорогая ребята мужчина женщина люди мир город деревня село страна район область север юг восток "
        "запад семья брат сестра радио станция антенна имя погода спасибо привет что кто где как когда маленький "
        "большой",
    },
    {
        "pl",
        "mój moja moje twój twoja nasz wasz nie tak bardzo i lub ale tu tutaj tam dom domu tajemnica sekret "
        "nieważne ważne nieznane nic nikt ktoś wszyscy wszystkim przyjaciel przyjaciele przyjaciółka kolega koledzy "
        "koleżanka kolego kumpel pan pani panowie drogi droga chłopaki mężczyzna kobieta ludzie świat miasto wieś "
        "wioska kraj region północ południe wschód zachód rodzina brat siostra radio stacja antena imię pogoda "
        "dziękuję cześć co kto gdzie jak kiedy małe małym duże",
    },
    {
        "cs",
        "můj moje moji tvůj náš váš ne ano velmi a nebo ale tady tam doma dům tajemství tajné nedůležité důležité "
        "neznámé nic nikdo někdo všichni přítel přátelé kamarád kamarádi kolega kolegové pan paní pane milý milá "
        "lidi muž žena svět město vesnice země venkov kraj sever jih východ západ rodina bratr sestra rádio stanice "
        "anténa jméno počasí děkuji ahoj co kdo kde jak kdy malé malém velké",
    },
    {
        "da",
        "en et den det de min mit mine din dit vores jeres ikke nej ja meget og eller men her der hjemme hus "
        "hemmelig privat ukendt vigtigt intet ingen nogen alle allesammen ven venner veninde kollega kolleger "
        "kammerat herre fru kære mand kvinde folk verden by landsby land egn nord syd øst vest familie bror søster "
        "radio station antenne navn vejr tak hej hvad hvem hvor hvordan hvornår lille stor nu",
    },
    {
        "no",
        "en ei et den det de min mitt mine din ditt vår deres ikke nei ja veldig og eller men her der hjemme hus "
        "hemmelig privat ukjent viktig ingenting ingen noen alle venn venner venninne kollega kolleger kamerat "
        "herre fru kjære mann kvinne folk verden by bygd land nord sør øst vest familie bror søster radio stasjon "
        "antenne navn vær takk hei hva hvem hvor hvordan når liten stor nå",
    },
    {
        "sv",
        "en ett den det de min mitt mina din ditt vår er inte nej ja mycket och eller men här där hemma hus hemlig "
        "hemligt privat okänd viktigt inget ingen någon alla allihop vän vänner väninna kollega kollegor kompis "
        "herr fru kära käre man kvinna folk världen stad by land landsbygd norr söder öster väster familj bror "
        "syster radio station antenn namn väder tack hej vad vem var hur när liten stor nu",
    },
    {
        "fi",
        "minun sinun meidän teidän ei kyllä joo hyvin ja tai mutta täällä siellä kotona koti salaisuus salainen "
        "yksityinen tuntematon tärkeä mitään kukaan joku kaikki ystävä ystävät kaveri kaverit kollega herra rouva "
        "hyvä rakas mies nainen ihmiset maailma kaupunki kylä maa maaseutu pohjoinen etelä itä länsi perhe veli "
        "sisko radio asema antenni nimi sää kiitos hei mitä kuka missä miten milloin pieni iso",
    },
    {
        "el",
        "ο η το οι τα ένας μία ένα μου σου μας σας δεν όχι ναι πολύ και ή αλλά εδώ εκεί σπίτι μυστικό άγνωστο "
        "σημαντικό τίποτα κανείς όλοι φίλε φίλος φίλοι φίλη συνάδελφε συνάδελφος κύριε κυρία αγαπητέ παιδιά "
        "άντρας γυναίκα κόσμος πόλη χωριό χώρα επαρχία βορράς νότος οικογένεια αδελφός αδελφή ραδιόφωνο σταθμός "
        "κεραία όνομα καιρός ευχαριστώ γεια τι ποιος πού πώς πότε μικρή μικρό μεγάλη",
    },
    {
        "bg",
        "моят моята моите твоят нашият не да много и или но тук там вкъщи дом тайна неважно важно нищо никой "
        "някой всички приятел приятели приятелю приятелко колега колеги колего господин госпожа скъпи скъпа "
        "момчета мъж жена хора свят град село страна провинция север юг изток запад семейство брат сестра радио "
        "станция антена име време благодаря здравей какво кой къде как кога малък малко голям",
    },
    {
        "ro",
        "un o unui unei meu mea mei mele tău ta nostru noastră nu da foarte și sau dar aici acolo acasă casă secret "
        "privat necunoscut important nimic nimeni cineva toți toate prieten prieteni prietene prietenă coleg colegi "
        "colegă domnule doamnă domnul dragă băieți om bărbat femeie oameni lume oraș sat țară zonă regiune nord sud "
        "est vest familie frate soră radio stație antenă nume vreme mulțumesc salut ce cine unde cum când mic mică "
        "mare",
    },
    {
        "ga",
        "mo do a ár bhur níl ní tá sea an na agus nó ach anseo ansin abhaile baile teach rún príobháideach "
        "anaithnid tábhachtach faic duine aon gach cara cairde chara chairde comhghleacaí uasal bean fear daoine "
        "domhan cathair sráidbhaile tír tuath tuaisceart deisceart oirthear iarthar teaghlach deartháir deirfiúr "
        "raidió stáisiún aeróg ainm aimsir dia cad cé cá conas cathain beag mór",
    },
    {
        "cy",
        "fy dy ein eich ei y yr nid na ddim ie ydw iawn a ac neu ond yma yno adref cartref tŷ cyfrinach preifat "
        "anhysbys pwysig dim neb rhywun pawb ffrind ffrindiau cyfaill gyfaill cydweithiwr syr madam annwyl bois dyn "
        "menyw pobl byd dinas tref pentref gwlad cefn gogledd de dwyrain gorllewin teulu brawd chwaer radio gorsaf "
        "erial enw tywydd diolch helo beth pwy ble sut pryd bach mawr",
    },
    {
        "mt",
        "il l is it ta tiegħi tiegħek tagħna mhux le iva ħafna u jew imma hawn hemm dar sigriet privat magħruf "
        "importanti xejn ħadd xi kulħadd ħabib ħbieb ħabiba sieħeb kollega sinjur sinjura għażiż għażiża raġel "
        "mara nies dinja belt raħal pajjiż kampanja tramuntana nofsinhar lvant punent familja ħu oħt radju "
        "stazzjon antenna isem temp grazzi bonġu min fejn kif meta żgħir kbir",
    },
};

const QHash<QString, QSet<QString>>& commonWords()
{
    static const QHash<QString, QSet<QString>> table = [] {
        QHash<QString, QSet<QString>> result;
        for (const CommonWords& entry : kCommonWords) {
            QSet<QString>& set = result[QString::fromLatin1(entry.language)];
            for (const QString& word : QString::fromUtf8(entry.words).split(u' ', Qt::SkipEmptyParts))
                set.insert(word.toCaseFolded());
        }
        return result;
    }();
    return table;
}

// Lower-case words inside names: "Ludwig van Beethoven", "Juan de la Cruz", "Castilla y León".
bool isParticle(const QString& word)
{
    static const QSet<QString> particles = {QStringLiteral("de"), QStringLiteral("del"), QStringLiteral("della"),
        QStringLiteral("da"), QStringLiteral("das"), QStringLiteral("do"), QStringLiteral("dos"), QStringLiteral("di"),
        QStringLiteral("du"), QStringLiteral("la"), QStringLiteral("le"), QStringLiteral("van"), QStringLiteral("von"),
        QStringLiteral("der"), QStringLiteral("den"), QStringLiteral("ter"), QStringLiteral("ten"), QStringLiteral("y"),
        QStringLiteral("bin"), QStringLiteral("ibn"), QStringLiteral("al"), QStringLiteral("el"), QStringLiteral("zu"),
        QStringLiteral("am"), QStringLiteral("an"), QStringLiteral("im"), QStringLiteral("sur"),
        QStringLiteral("upon")};
    return particles.contains(word);
}

// Languages whose scripts have no capitals: a Latin word in them is most likely English.
bool withoutCapitals(const QString& language)
{
    return language == u"ar" || language == u"hi" || language == u"ja" || language == u"zh-CN" || language == u"ko"
        || language == u"he" || language == u"fa" || language == u"th" || language == u"ka";
}

// German nouns by their endings (Verbindung, Gesundheit, Gemeinschaft): never a first name or a town.
bool looksLikeGermanNoun(const QString& folded)
{
    static const QStringList endings = {QStringLiteral("ung"), QStringLiteral("heit"), QStringLiteral("keit"),
        QStringLiteral("schaft"), QStringLiteral("tät"), QStringLiteral("ismus"), QStringLiteral("ation")};
    return std::any_of(endings.begin(), endings.end(),
        [&](const QString& ending) { return folded.size() > ending.size() + 2 && folded.endsWith(ending); });
}

enum class NameWord { Callsign, Capitalised, Capitals, Lower, Other };

NameWord classify(const QString& word)
{
    // Callsigns have a digit, and the ham words that are no names are written in capitals.
    const bool hamWord
        = std::any_of(word.begin(), word.end(), [](QChar c) { return c.isDigit(); }) || word.toUpper() == word;
    const QList<ProtectedSpan> spans = hamWord ? ProtectedWords::find(word) : QList<ProtectedSpan>();
    if (spans.size() == 1 && spans.first().length == word.size()) {
        if (spans.first().kind == WordKind::Callsign)
            return NameWord::Callsign;
        // QTH, OM, SSB: ham words, not names ("Olivia" the mode may well be one).
        if (word.toUpper() == word)
            return NameWord::Other;
    }
    const QList<uint> points = word.toUcs4();
    if (points.isEmpty() || !QChar::isLetter(points.first()))
        return NameWord::Other;
    int upper = 0;
    int lower = 0;
    for (const uint c : points) {
        if (QChar::isLetter(c)) {
            // A letter of a script without capitals (Han, kana, Hangul, Arabic, Devanagari) says nothing of a name.
            if (QChar::isUpper(c) || QChar::isTitleCase(c))
                ++upper;
            else if (QChar::isLower(c))
                ++lower;
            else
                return NameWord::Other;
        } else if (QChar::isMark(c) || c == u'-' || c == u'\'' || c == u'’' || c == u'.') {
            continue;
        } else {
            return NameWord::Other;
        }
    }
    if (!QChar::isUpper(points.first()) && !QChar::isTitleCase(points.first()))
        return NameWord::Lower;
    return lower == 0 && upper > 1 ? NameWord::Capitals : NameWord::Capitalised;
}

bool isModel(const QString& word)
{
    const QList<ProtectedSpan> spans = ProtectedWords::find(word);
    return spans.size() == 1 && spans.first().length == word.size()
        && (spans.first().kind == WordKind::Model || spans.first().kind == WordKind::Callsign);
}

// Makers of radios and antennas, written before a model: "Icom IC-7300", "Cushcraft A3S".
bool isMaker(const QString& word)
{
    static const QSet<QString> makers = [] {
        QSet<QString> set;
        for (const char* name : {"icom", "yaesu", "kenwood", "elecraft", "xiegu", "flex", "flexradio", "alinco",
                 "ten-tec", "anan", "apache", "hermes", "baofeng", "anytone", "radioddity", "tyt", "lab599", "qrp",
                 "labs", "qrp-labs", "sunsdr", "expert", "cushcraft", "hy-gain", "hygain", "diamond", "comet",
                 "butternut", "hustler", "mfj", "steppir", "optibeam", "fritzel", "spiderbeam", "buddipole",
                 "chameleon", "wellbrook", "mosley", "tennadyne", "force12", "acom", "spe", "ameritron"}) {
            set.insert(QString::fromLatin1(name));
        }
        return set;
    }();
    return makers.contains(word.toCaseFolded());
}

bool acceptsModel(const QStringList& words)
{
    // The model last, the makers before it.
    if (words.isEmpty() || words.size() > 3 || !isModel(words.last()))
        return false;
    for (qsizetype i = 0; i + 1 < words.size(); ++i) {
        if (!isMaker(words[i]) && !isModel(words[i]))
            return false;
    }
    return true;
}

bool acceptsNumber(const QString& value)
{
    // A numeral, and a unit every language writes the same; unit words ("watts", "Jahre") are the sentence's own.
    static const QRegularExpression numeral(
        QStringLiteral("^[+\\-−]?[0-9]+(?:[.,][0-9]+)?(?: "
                       "?(?:kW|mW|W|dBm|dBi|dBd|dB|V|Ah|A|%|°C|°F|ºC|°|km|m|cm|mm|kHz|MHz|GHz|Hz))?$"));
    return numeral.match(value).hasMatch();
}

bool isCommon(const QString& folded, const SlotValues::Context& context)
{
    if (commonWords().value(context.language).contains(folded)
        || (context.words && SlotValues::containsWord(*context.words, folded)))
        return true;
    if (context.language == u"de" && looksLikeGermanNoun(folded))
        return true;
    if (withoutCapitals(context.language)) {
        return commonWords().value(QStringLiteral("en")).contains(folded)
            || (context.englishWords && SlotValues::containsWord(*context.englishWords, folded));
    }
    return false;
}

bool acceptsName(const QStringList& words, const SlotValues::Context& context)
{
    if (words.isEmpty() || words.size() > SlotValues::maxWords(QStringLiteral("name")))
        return false;
    // Capitals tell a name from other words only inside a sentence with lower-case letters, in a language that
    // writes its nouns in lower case and a script that has capitals.
    bool telling = !context.atStart && context.language != u"de" && !withoutCapitals(context.language);
    QString head; ///< the last word that is not a callsign: the noun of "dear friend", "New York"
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString folded = words[i].toCaseFolded();
        switch (classify(words[i])) {
        case NameWord::Callsign: continue;
        case NameWord::Other: return false;
        case NameWord::Lower:
            if (i == 0 || i + 1 == words.size() || !isParticle(folded))
                return false;
            continue;
        case NameWord::Capitals: telling = false; [[fallthrough]];
        case NameWord::Capitalised: head = folded; break;
        }
    }
    if (head.isEmpty())
        return true; // callsigns only
    if (telling) {
        // "Thanks, Friend": a capital does not make an address a name.
        return !commonWords().value(context.language).contains(head);
    }
    for (const QString& word : words) {
        const QString folded = word.toCaseFolded();
        if (classify(word) == NameWord::Callsign || (isParticle(folded) && word.front().isLower()))
            continue;
        if (isCommon(folded, context))
            return false;
    }
    return true;
}

} // namespace

int SlotValues::maxWords(const QString& kind)
{
    if (kind == u"name" || kind == u"place")
        return 4;
    if (kind == u"number")
        return 2;
    return 3;
}

bool SlotValues::accepts(const QString& kind, const QString& value, const Context& context)
{
    if (value.isEmpty() || value.front().isSpace() || value.back().isSpace())
        return false;
    const QStringList words = value.split(u' ', Qt::SkipEmptyParts);
    if (kind == u"name" || kind == u"place")
        return acceptsName(words, context);
    if (kind == u"rig" || kind == u"antenna")
        return acceptsModel(words);
    if (kind == u"number")
        return acceptsNumber(value);
    return ProtectedWords::isWhole(value, kind);
}

bool SlotValues::containsWord(const QString& text, const QString& word)
{
    if (word.isEmpty())
        return false;
    const auto inWord = [](QChar c) { return c.isLetterOrNumber() || c.isMark(); };
    for (qsizetype at = text.indexOf(word); at >= 0; at = text.indexOf(word, at + 1)) {
        const qsizetype end = at + word.size();
        if ((at == 0 || !inWord(text[at - 1])) && (end == text.size() || !inWord(text[end])))
            return true;
    }
    return false;
}

bool SlotValues::isCommonWord(const QString& word, const QString& language)
{
    return commonWords().value(language).contains(word.toCaseFolded());
}

} // namespace service
