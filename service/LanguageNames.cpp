#include "LanguageNames.h"

namespace service::LanguageNames {

namespace {

struct Name {
    const char* code;
    const char* name;
};

// The client's table first, in its order; then the languages Apertium pairs bring.
constexpr int kClientCount = 25;
constexpr Name kNames[] = {
    {"ar", "Arabic"},
    {"bg", "Bulgarian"},
    {"cs", "Czech"},
    {"da", "Danish"},
    {"nl", "Dutch"},
    {"en", "English"},
    {"fi", "Finnish"},
    {"fr", "French"},
    {"de", "German"},
    {"el", "Greek"},
    {"hi", "Hindi"},
    {"ga", "Irish"},
    {"it", "Italian"},
    {"ja", "Japanese"},
    {"zh-CN", "Chinese (Simplified)"},
    {"ko", "Korean"},
    {"mt", "Maltese"},
    {"no", "Norwegian"},
    {"pl", "Polish"},
    {"pt", "Portuguese"},
    {"ro", "Romanian"},
    {"ru", "Russian"},
    {"cy", "Welsh"},
    {"es", "Spanish"},
    {"sv", "Swedish"},
    {"zh", "Chinese"},
    {"nb", "Norwegian Bokm\u00e5l"},
    {"nn", "Norwegian Nynorsk"},
    {"ca", "Catalan"},
    {"gl", "Galician"},
    {"oc", "Occitan"},
    {"eu", "Basque"},
    {"af", "Afrikaans"},
    {"is", "Icelandic"},
    {"fo", "Faroese"},
    {"br", "Breton"},
    {"eo", "Esperanto"},
    {"sl", "Slovenian"},
    {"mk", "Macedonian"},
    {"uk", "Ukrainian"},
    {"be", "Belarusian"},
    {"kk", "Kazakh"},
    {"tt", "Tatar"},
    {"sq", "Albanian"},
    {"sk", "Slovak"},
    {"hr", "Croatian"},
    {"sr", "Serbian"},
    {"bs", "Bosnian"},
    {"an", "Aragonese"},
    {"sc", "Sardinian"},
    {"ur", "Urdu"},
    {"id", "Indonesian"},
    {"ms", "Malay"},
    {"se", "Northern Sami"},
    {"lt", "Lithuanian"},
    {"lv", "Latvian"},
};

} // namespace

const QStringList& clientCodes()
{
    static const QStringList codes = [] {
        QStringList list;
        for (int i = 0; i < kClientCount; ++i)
            list.append(QString::fromLatin1(kNames[i].code));
        return list;
    }();
    return codes;
}

QString englishName(const QString& code)
{
    for (const Name& entry : kNames) {
        if (code.compare(QLatin1String(entry.code), Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(entry.name);
    }
    return code;
}

bool isAuto(const QString& code)
{
    return code.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
}

} // namespace service::LanguageNames
