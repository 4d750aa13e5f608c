#pragma once

#include "OnAirText.h"

#include <QByteArray>
#include <QString>

/// The bytes of EchoLink chat and text. Stations send no charset: UTF-8 is taken when the bytes are valid UTF-8,
/// else the configured encoding (windows-1252 by default, as EchoLink for Windows sends on Western systems).
class ChatCodec
{
public:
    /// name as Qt or ICU know it ("windows-1252", "UTF-8", "ISO-8859-5", ...); isValid() says whether it is known.
    explicit ChatCodec(const QString& name = QStringLiteral("windows-1252"));

    bool isValid() const { return m_valid; }
    QString name() const { return m_name; }

    QString decode(const QByteArray& bytes) const;
    /// text as the encoding can carry it (fitted as the on-air bridges fit text), or the refusal.
    onair::Fitted fit(const QString& text) const;
    /// text (already fitted) in the encoding.
    QByteArray encode(const QString& text) const;

private:
    bool carries(char32_t c) const;

    QString m_name;
    bool m_valid = false;
    bool m_utf8 = false;
};
