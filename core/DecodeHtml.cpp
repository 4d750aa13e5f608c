#include "DecodeHtml.h"

#include "ReplaceAll.h"

#include <QStringView>

namespace modGoogleTranslate {

namespace {

struct Repair {
    QStringView find;
    QStringView replacement;
};

// Applied in this order, each as one left-to-right pass. Rows 1, 2 and 4 run before the ampersand rows so that an
// escaped escape stays an escape; rows 8 to 11 are UTF-8 bytes read as Windows-1252; rows 13 to 15 write the
// Windows-1250 letters ś and ą as the Windows-1252 characters of their bytes, which is how the chat shows them.
constexpr Repair kRepairs[] = {
    {u"&lt;", u"<"},
    {u"/&gt;", u">"},
    {u"\n", u"\r\n"},
    {u"&gt;", u">"},
    {u"&amp;", u"&"},
    {u"&amp;", u"&"},
    {u"&#8212;", u"-"},
    {u"\u00c3\u00a6", u"\u00e6"},
    {u"\u00c3\u00b8", u"\u00f8"},
    {u"\u00c3\u00a5", u"\u00e5"},
    {u"\u00e2\u2020\u0090\u00c3\u2020l", u"\u00e6"},
    {u"%C3%A6", u"\u00e6"},
    {u"\u00b6", u"\u0153"},
    {u"\u00b1", u"\u00b9"},
    {u"&#347;", u"\u0153"},
};

} // namespace

QString DecodeHtml(QString& text)
{
    for (const Repair& row : kRepairs)
        text = replaceAll(text, row.find, row.replacement);
    text = replaceAll(text, u"\"\"", u"\"");
    return text;
}

} // namespace modGoogleTranslate
