#pragma once

#include <QByteArray>
#include <QMap>

/// Reads one HTTP/1.x request from bytes as they arrive, within size caps. The verdict on a request depends on its
/// bytes only, not on how they were split into reads, and the time spent on it grows linearly with them.
class HttpRequestParser
{
public:
    enum class State { NeedMore, Complete, Error };

    HttpRequestParser(qsizetype maxHeaderBytes, qsizetype maxBodyBytes);

    /// Adds received bytes; returns the state after them. Bytes after a complete request are kept in rest().
    State feed(const QByteArray& bytes);

    State state() const { return m_state; }
    /// Whether the whole head (request line and header fields) has arrived.
    bool hasHead() const { return m_bodyStart >= 0; }
    /// On Error: the status to answer (400, 411, 413, 431, 505) and why.
    int errorStatus() const { return m_errorStatus; }
    QByteArray errorReason() const { return m_errorReason; }

    QByteArray method() const { return m_method; }
    /// The request target as sent ("/path?query").
    QByteArray target() const { return m_target; }
    QByteArray path() const;
    QByteArray query() const;
    QByteArray version() const { return m_version; }
    /// A header by lower-case name; empty when absent.
    QByteArray header(const QByteArray& lowerName) const { return m_headers.value(lowerName); }
    QByteArray body() const { return m_body; }
    /// The bytes that came after the complete request: the start of the next one on the same connection.
    QByteArray rest() const { return m_rest; }

private:
    State fail(int status, const QByteArray& reason);
    State parseHead(const QByteArray& head);

    qsizetype m_maxHeaderBytes;
    qsizetype m_maxBodyBytes;
    State m_state = State::NeedMore;
    int m_errorStatus = 0;
    QByteArray m_errorReason;
    QByteArray m_buffer;
    /// Where the search for the end of the head goes on.
    qsizetype m_scanned = 0;
    qsizetype m_bodyStart = -1;
    qsizetype m_contentLength = 0;
    QByteArray m_method;
    QByteArray m_target;
    QByteArray m_version;
    QMap<QByteArray, QByteArray> m_headers;
    QByteArray m_body;
    QByteArray m_rest;
};
