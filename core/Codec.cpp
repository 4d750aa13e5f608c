#include "Codec.h"

#include <QList>
#include <QStringDecoder>

namespace Codec {

namespace {

// Windows-1252 bytes 80 to 9F; the five bytes the code page leaves undefined map to the C1 control of the
// same value, as the WHATWG decoder does.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
    0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(kCp1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

bool isUnreserved(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '-'
        || byte == '.' || byte == '_' || byte == '~';
}

} // namespace

QString decode(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromWindows1252(bytes);
}

QByteArray encode(const QString& text)
{
    return text.toUtf8();
}

QString percentEncode(const QString& text)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = text.toUtf8();
    QString out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte)) {
            out += QLatin1Char(c);
        } else {
            out += u'%';
            out += QLatin1Char(hex[byte >> 4]);
            out += QLatin1Char(hex[byte & 0x0F]);
        }
    }
    return out;
}

bool isLoopbackUrl(const QString& url)
{
    // scheme://[userinfo@]host[:port][/?#...]; parsed by hand to keep the core free of the network module.
    QStringView rest(url);
    const qsizetype scheme = rest.indexOf(u"://");
    if (scheme < 0)
        return false;
    rest = rest.mid(scheme + 3);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != u'/' && rest[end] != u'?' && rest[end] != u'#')
        ++end;
    QStringView authority = rest.left(end);
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0)
        authority = authority.mid(at + 1);

    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0)
            return false;
        const QStringView host = authority.mid(1, close - 1);
        return host == u"::1" || host == u"0:0:0:0:0:0:0:1";
    }
    const qsizetype colon = authority.indexOf(u':');
    const QStringView host = colon < 0 ? authority : authority.left(colon);
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return true;

    // A plain dotted IPv4 address whose first octet is 127: decimal digits only, no sign, no leading zero
    // (resolvers read those as octal).
    const auto parts = host.split(u'.');
    if (parts.size() != 4)
        return false;
    for (const QStringView part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.front() == u'0'))
            return false;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return false;
        }
        if (part.toInt() > 255)
            return false;
    }
    return parts.first() == u"127";
}

} // namespace Codec
