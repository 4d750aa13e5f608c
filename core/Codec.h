#pragma once

#include <QByteArray>
#include <QString>

namespace Codec {

/// Text of bytes read from the network or a file: UTF-8 when the whole input is valid UTF-8, otherwise one
/// character per byte as Windows-1252, the five bytes it leaves undefined kept as U+0081, U+008D, U+008F,
/// U+0090 and U+009D. No byte is dropped or replaced.
QString decode(const QByteArray& bytes);

/// The bytes that go out for a text: its UTF-8 encoding.
QByteArray encode(const QString& text);

/// Percent-encodes the UTF-8 bytes of text; every byte outside A-Z a-z 0-9 - . _ ~ becomes %XX (upper-case hex).
QString percentEncode(const QString& text);

/// True when url's host is this machine: "localhost", an address in 127.0.0.0/8, or ::1.
bool isLoopbackUrl(const QString& url);

} // namespace Codec
