#include "ChatCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

ChatCodec::ChatCodec(const QString& name)
    : m_name(name)
{
    const QStringEncoder encoder(name.toLatin1().constData());
    m_valid = encoder.isValid() && QStringDecoder(name.toLatin1().constData()).isValid();
    m_utf8 = m_valid && QString::fromLatin1(encoder.name()).compare(u"UTF-8", Qt::CaseInsensitive) == 0;
}

QString ChatCodec::decode(const QByteArray& bytes) const
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError() || !m_valid)
        return text;
    QStringDecoder decoder(m_name.toLatin1().constData());
    return decoder.decode(bytes);
}

bool ChatCodec::carries(char32_t c) const
{
    if (m_utf8)
        return true;
    QStringEncoder encoder(m_name.toLatin1().constData());
    const char32_t one[] = {c};
    // Converted here: the encoder's result is lazy, and its error is known only once it is made.
    const QByteArray bytes = encoder.encode(QString::fromUcs4(one, 1));
    return !encoder.hasError();
}

onair::Fitted ChatCodec::fit(const QString& text) const
{
    if (m_utf8)
        return {text, {}};
    return onair::fitText(text, [this](char32_t c) { return carries(c); });
}

QByteArray ChatCodec::encode(const QString& text) const
{
    QStringEncoder encoder(m_name.toLatin1().constData());
    return encoder.encode(text);
}
