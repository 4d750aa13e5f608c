#include "http/QueryString.h"

#include <QStringDecoder>

namespace QueryString {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<QString> utf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

std::optional<QByteArray> percentDecode(QByteArray bytes, bool plusIsSpace)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '%') {
            if (i + 2 >= bytes.size())
                return std::nullopt;
            const int high = hexValue(bytes[i + 1]);
            const int low = hexValue(bytes[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<QList<QPair<QString, QString>>> parse(const QByteArray& query)
{
    QList<QPair<QString, QString>> pairs;
    for (const QByteArray& field : query.split('&')) {
        if (field.isEmpty())
            continue;
        const qsizetype eq = field.indexOf('=');
        const auto name = percentDecode(eq < 0 ? field : field.left(eq), true);
        const auto value = percentDecode(eq < 0 ? QByteArray() : field.mid(eq + 1), true);
        if (!name || !value)
            return std::nullopt;
        const auto nameText = utf8(*name);
        const auto valueText = utf8(*value);
        if (!nameText || !valueText)
            return std::nullopt;
        pairs.append({*nameText, *valueText});
    }
    return pairs;
}

} // namespace QueryString
