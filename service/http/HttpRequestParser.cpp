#include "http/HttpRequestParser.h"

#include <QList>

#include <cstring>

namespace {

bool isToken(const QByteArray& name)
{
    if (name.isEmpty())
        return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
        if (!ok)
            return false;
    }
    return true;
}

bool isSingle(const QByteArray& lowerName)
{
    return lowerName == "host" || lowerName == "content-length" || lowerName == "transfer-encoding"
        || lowerName == "origin" || lowerName == "sec-fetch-site";
}

} // namespace

HttpRequestParser::HttpRequestParser(qsizetype maxHeaderBytes, qsizetype maxBodyBytes)
    : m_maxHeaderBytes(maxHeaderBytes)
    , m_maxBodyBytes(maxBodyBytes)
{ }

HttpRequestParser::State HttpRequestParser::feed(const QByteArray& bytes)
{
    if (m_state != State::NeedMore)
        return m_state;
    m_buffer += bytes;
    if (m_bodyStart < 0) {
        // The head ends at the first empty line (LF or CR LF). The scan goes on from where the last one stopped:
        // at the end, or at a line end whose next line has not fully arrived. Whatever the reads, the same bytes
        // get the same verdict, and each byte is looked at a bounded number of times.
        const qsizetype size = m_buffer.size();
        const char* data = m_buffer.constData();
        qsizetype lineEnd = -1;
        qsizetype bodyStart = -1;
        qsizetype i = m_scanned;
        for (; i < size; ++i) {
            if (data[i] != '\n')
                continue;
            if (i + 1 >= size)
                break;
            if (data[i + 1] == '\n') {
                lineEnd = i;
                bodyStart = i + 2;
                break;
            }
            if (data[i + 1] == '\r') {
                if (i + 2 >= size)
                    break;
                if (data[i + 2] == '\n') {
                    lineEnd = i;
                    bodyStart = i + 3;
                    break;
                }
            }
        }
        m_scanned = i;
        if (lineEnd < 0) {
            // A head ending at or after the scan position is at least this long.
            if (m_scanned - 1 > m_maxHeaderBytes)
                return fail(431, "Request header fields too large");
            return m_state;
        }
        const qsizetype headBytes = lineEnd > 0 && data[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
        if (headBytes > m_maxHeaderBytes)
            return fail(431, "Request header fields too large");
        if (parseHead(m_buffer.left(lineEnd)) == State::Error)
            return m_state;
        m_bodyStart = bodyStart;
    }
    if (m_buffer.size() - m_bodyStart < m_contentLength)
        return m_state;
    m_body = m_buffer.mid(m_bodyStart, m_contentLength);
    m_rest = m_buffer.mid(m_bodyStart + m_contentLength);
    m_buffer.clear();
    m_state = State::Complete;
    return m_state;
}

HttpRequestParser::State HttpRequestParser::parseHead(const QByteArray& head)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    // Tolerate empty lines before the request line.
    while (!lines.isEmpty() && lines.first().isEmpty())
        lines.removeFirst();
    if (lines.isEmpty())
        return fail(400, "Empty request");

    // Old clients send the target unescaped, spaces included: the method ends at the first space and the version
    // starts after the last one.
    const QByteArray requestLine = lines.takeFirst();
    const qsizetype first = requestLine.indexOf(' ');
    const qsizetype last = requestLine.lastIndexOf(' ');
    if (first <= 0 || last <= first + 1)
        return fail(400, "Malformed request line");
    m_method = requestLine.left(first);
    m_target = requestLine.mid(first + 1, last - first - 1);
    m_version = requestLine.mid(last + 1);
    for (const char c : m_method) {
        if (c < 'A' || c > 'Z')
            return fail(400, "Malformed request line");
    }
    if (!m_version.startsWith("HTTP/"))
        return fail(400, "Malformed request line");
    if (m_version != "HTTP/1.0" && m_version != "HTTP/1.1")
        return fail(505, "HTTP version not supported");
    if (!m_target.startsWith('/'))
        return fail(400, "Malformed request target");

    for (const QByteArray& line : std::as_const(lines)) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return fail(400, "Malformed header line");
        // A name is a token, with nothing before the colon: "Host : x" or a folded " Host: x" is read as a header by
        // some servers and as something else by others.
        const QByteArray name = line.left(colon).toLower();
        if (!isToken(name))
            return fail(400, "Malformed header line");
        const QByteArray value = line.mid(colon + 1).trimmed();
        // Fields one request has once: with two, which one counts is the reader's guess (which Host is served,
        // where the body ends).
        if (m_headers.contains(name) && isSingle(name))
            return fail(400, "Header field sent twice: " + line.left(colon));
        m_headers.insert(name, value);
    }
    if (m_headers.contains("transfer-encoding")) {
        if (m_headers.contains("content-length"))
            return fail(400, "Both Transfer-Encoding and Content-Length");
        return fail(411, "Chunked bodies are not accepted; send Content-Length");
    }
    if (m_headers.contains("content-length")) {
        const QByteArray value = m_headers.value("content-length");
        bool ok = !value.isEmpty() && value.size() <= 18;
        for (const char c : value)
            ok = ok && c >= '0' && c <= '9';
        if (!ok)
            return fail(400, "Malformed Content-Length");
        m_contentLength = value.toLongLong();
        if (m_contentLength > m_maxBodyBytes)
            return fail(413, "Request body too large");
    }
    return m_state;
}

QByteArray HttpRequestParser::path() const
{
    const qsizetype q = m_target.indexOf('?');
    return q < 0 ? m_target : m_target.left(q);
}

QByteArray HttpRequestParser::query() const
{
    const qsizetype q = m_target.indexOf('?');
    return q < 0 ? QByteArray() : m_target.mid(q + 1);
}

HttpRequestParser::State HttpRequestParser::fail(int status, const QByteArray& reason)
{
    m_state = State::Error;
    m_errorStatus = status;
    m_errorReason = reason;
    m_buffer.clear();
    return m_state;
}
