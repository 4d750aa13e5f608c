#include "http/ServiceConnection.h"

#include "Codec.h"
#include "Engine.h"
#include "Interest.h"
#include "http/QueryString.h"
#include "http/ReplyEncoding.h"
#include "http/ServiceServer.h"
#include "http/ServiceSettings.h"
#include "http/TcpGate.h"

#include <QPointer>
#include <QTcpSocket>

#include <algorithm>

#include <cerrno>

#include <sys/ioctl.h>
#include <sys/socket.h>

namespace service {

namespace {

const QByteArray kTranslatePath = "/ajax/services/language/translate";
const QByteArray kStatsPath = "/EP/stats.php";
const QByteArray kSettingsPrefix = TcpGate::kSettingsPrefix;
const QByteArray kJson = "application/json; charset=utf-8";
constexpr qint64 kReadBufferBytes = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
    }
}

QString valueOf(const QList<QPair<QString, QString>>& fields, const QString& name, bool* found = nullptr)
{
    for (const auto& field : fields) {
        if (field.first == name) {
            if (found)
                *found = true;
            return field.second;
        }
    }
    if (found)
        *found = false;
    return {};
}

// The report comes unescaped ("Callsign=X&Program=*** Dolmex &Ver=1.0.2"), so a value may hold "&" or "=":
// cut at the field names, the last ones winning, rather than splitting at every "&".
bool parseUsageReport(const QString& body, QString& callsign, QString& program, QString& version)
{
    static const QString kCallsign = QStringLiteral("Callsign=");
    static const QString kProgram = QStringLiteral("&Program=");
    static const QString kVer = QStringLiteral("&Ver=");
    if (!body.startsWith(kCallsign))
        return false;
    const qsizetype ver = body.lastIndexOf(kVer);
    if (ver < 0)
        return false;
    const qsizetype prog = body.lastIndexOf(kProgram, ver);
    if (prog < kCallsign.size() - 1)
        return false;
    callsign = body.mid(kCallsign.size(), prog - kCallsign.size());
    program = body.mid(prog + kProgram.size(), ver - prog - kProgram.size());
    version = body.mid(ver + kVer.size());
    while (version.endsWith(u'\n') || version.endsWith(u'\r'))
        version.chop(1);
    return true;
}

// Line breaks from the client are CR LF (or CR); engines speak LF.
QString toEngineText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

} // namespace

ServiceConnection::ServiceConnection(QTcpSocket* socket, ServiceServer& server)
    : QObject(&server)
    , m_socket(socket)
    , m_server(server)
    , m_parser(server.limits().maxHeaderBytes, server.limits().maxBodyBytes)
{
    m_clock.start();
    m_socket->setParent(this);
    // Read no further than a request's worth while one is answered: a client that sends request after request
    // without reading its answers fills its own buffers, not the service's memory.
    m_socket->setReadBufferSize(kReadBufferBytes);
    // Over the Unix socket the peer is the user's own program; it has no address.
    m_peer = (m_server.tcpGate() ? m_socket->peerAddress().toString() : QStringLiteral("local")) + u' ';
    m_logPrefix = m_peer;
    connect(m_socket, &QTcpSocket::readyRead, this, &ServiceConnection::readRequest);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ServiceConnection::nextRequest);
    connect(m_socket, &QTcpSocket::disconnected, this, &ServiceConnection::close);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ServiceConnection::close);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (m_responded || m_idle) {
            close(); // the client does not take its reply, or has no next request
        } else if (m_parser.state() == HttpRequestParser::State::NeedMore) {
            respondRefusal(408, QStringLiteral("Request not received in time"));
        }
    });
    // A short time for the head keeps connections that hold a slot without asking from crowding out real requests.
    m_deadline.start(std::min(m_server.limits().headTimeoutMs, m_server.limits().requestTimeoutMs));
    // Bytes may have arrived before the connection was set up.
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &ServiceConnection::readRequest, Qt::QueuedConnection);
}

void ServiceConnection::refuse(int status, const QString& reason)
{
    respondRefusal(status, reason);
}

void ServiceConnection::readRequest()
{
    if (m_closed || m_responded || m_parser.state() != HttpRequestParser::State::NeedMore)
        return;
    take(m_socket->readAll());
}

void ServiceConnection::take(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_idle) {
        // The next request has begun: it gets the times a new connection's first one gets.
        m_idle = false;
        m_clock.start();
        m_deadline.start(std::min(m_server.limits().headTimeoutMs, m_server.limits().requestTimeoutMs));
    }
    switch (m_parser.feed(bytes)) {
    case HttpRequestParser::State::NeedMore:
        if (m_parser.hasHead() && !m_hasHead) {
            m_hasHead = true;
            m_deadline.start(std::max<qint64>(0, m_server.limits().requestTimeoutMs - m_clock.elapsed()));
        }
        return;
    case HttpRequestParser::State::Error:
        respondRefusal(m_parser.errorStatus(), QString::fromLatin1(m_parser.errorReason()));
        return;
    case HttpRequestParser::State::Complete:
        m_deadline.stop();
        dispatch();
        return;
    }
}

void ServiceConnection::dispatch()
{
    const QByteArray path = m_parser.path();
    const QByteArray method = m_parser.method();
    m_logPrefix += QString::fromLatin1(method) + u' ' + QString::fromLatin1(path) + u' ';
    if (const TcpGate* gate = m_server.tcpGate()) {
        if (const QString why = gate->refusal(m_parser); !why.isEmpty())
            return respondRefusal(403, why);
    }
    if (path == kTranslatePath) {
        if (method != "GET" && method != "POST")
            return respondRefusal(405, QStringLiteral("Method not allowed"), "Allow: GET, POST\r\n");
        return handleTranslate();
    }
    if (path == kStatsPath) {
        if (method != "POST")
            return respondRefusal(405, QStringLiteral("Method not allowed"), "Allow: POST\r\n");
        return handleUsageReport();
    }
    if (path.startsWith(kSettingsPrefix) && m_server.settings())
        return handleSettings();
    if (method != "GET" && method != "POST")
        return respondRefusal(405, QStringLiteral("Method not allowed"), "Allow: GET, POST\r\n");
    respondRefusal(404, QStringLiteral("Not found"));
}

void ServiceConnection::handleTranslate()
{
    QByteArray form = m_parser.query();
    if (m_parser.method() == "POST" && !m_parser.body().isEmpty())
        form += '&' + m_parser.body();
    const auto fields = QueryString::parse(form);
    if (!fields)
        return respondRefusal(400, QStringLiteral("Bad percent-encoding or text that is not UTF-8"));
    bool hasText = false;
    bool hasPair = false;
    const QString text = valueOf(*fields, QStringLiteral("q"), &hasText);
    const QString langpair = valueOf(*fields, QStringLiteral("langpair"), &hasPair);
    if (!hasText)
        return respondRefusal(400, QStringLiteral("Missing the text (q)"));
    if (!hasPair)
        return respondRefusal(400, QStringLiteral("Missing the language pair (langpair)"));
    const QStringList codes = langpair.split(u'|');
    if (codes.size() != 2 || codes[1].isEmpty() || codes[0].size() > 16 || codes[1].size() > 16)
        return respondRefusal(400, QStringLiteral("Invalid translation language pair"));
    if (text.size() > m_server.limits().maxTextChars) {
        return respondRefusal(
            413, QStringLiteral("Text too long: at most %1 characters").arg(m_server.limits().maxTextChars));
    }
    const QString source = codes[0].isEmpty() ? QStringLiteral("auto") : codes[0];
    m_logPrefix += source + u'|' + codes[1] + u' ';

    QPointer<ServiceConnection> self(this);
    // Nothing is translated for a client that has hung up while its text waited.
    const Interest::Scope scope{Interest([self] { return self && self->clientWaits(); })};
    m_server.engine().translate(toEngineText(text), source, codes[1], [self](const TranslationResult& result) {
        if (self)
            self->answerTranslation(result);
    });
}

void ServiceConnection::answerTranslation(const TranslationResult& result)
{
    switch (result.status) {
    case TranslationResult::Status::Ok: {
        if (ReplyEncoding::encodeValue(result.text).size() > ReplyEncoding::kMaxValueLength)
            return respondRefusal(413, QStringLiteral("The translation is too long for the client"));
        if (!result.detectedSource.isEmpty())
            m_logPrefix += QStringLiteral("(detected %1) ").arg(result.detectedSource);
        const ReplyEncoding::EngineTag tag = m_server.settings() && !result.engine.isEmpty()
            ? m_server.settings()->engineTag(result.engine)
            : ReplyEncoding::EngineTag{};
        return respond(200, kJson, ReplyEncoding::translationReply(result.text, tag));
    }
    case TranslationResult::Status::UnknownPair: return respondRefusal(400, result.error);
    case TranslationResult::Status::TooLong: return respondRefusal(413, result.error);
    case TranslationResult::Status::Failed: return respondRefusal(503, result.error);
    }
}

void ServiceConnection::handleUsageReport()
{
    QString callsign, program, version;
    if (!parseUsageReport(Codec::decode(m_parser.body()), callsign, program, version))
        return respondRefusal(400, QStringLiteral("Malformed usage report"));
    m_server.log(QStringLiteral("usage report: callsign=%1 program=%2 version=%3")
                     .arg(ReplyEncoding::jsonString(callsign), ReplyEncoding::jsonString(program),
                         ReplyEncoding::jsonString(version)));
    emit m_server.usageReported(callsign, program, version);
    respond(200, "text/plain; charset=utf-8", "OK\n");
}

void ServiceConnection::handleSettings()
{
    QPointer<ServiceConnection> self(this);
    m_server.settings()->handle(m_parser.method(), m_parser.path(), m_parser.query(), m_parser.body(),
        [self](int status, const QByteArray& body) {
            if (!self)
                return;
            self->respond(status, kJson, body);
            if (status != 200)
                self->m_server.log(self->m_logPrefix + QString::number(status) + u' ' + QString::fromUtf8(body));
        });
}

void ServiceConnection::respondRefusal(int status, const QString& reason, const QByteArray& extraHeaders)
{
    respond(status, kJson, ReplyEncoding::refusalReply(status, reason), extraHeaders);
    if (status != 200)
        m_server.log(m_logPrefix + QString::number(status) + u' ' + reason);
}

void ServiceConnection::respond(
    int status, const QByteArray& contentType, const QByteArray& body, const QByteArray& extraHeaders)
{
    if (m_responded)
        return;
    m_responded = true;
    ++m_served;
    // A refused request may have left the stream anywhere; only answered ones keep the connection.
    const bool keepAlive = status == 200 && keepsAlive();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (!keepAlive)
        head += "Connection: close\r\n";
    head += extraHeaders + "\r\n";
    m_socket->write(head + body);
    // Into the kernel now: the reply is then sent even if this connection is dropped to make room.
    m_socket->flush();
    if (status == 200 && m_parser.path() == kTranslatePath)
        m_server.log(m_logPrefix + QStringLiteral("200 %1 ms").arg(m_clock.elapsed()));
    m_deadline.start(m_server.limits().replyTimeoutMs);
    if (!keepAlive) {
        m_socket->disconnectFromHost();
        return;
    }
    // Set only now: the flush above has told bytesWritten already. The next request is read from the event loop,
    // as a reply may be given from inside the reading of its request.
    m_keepAlive = true;
    QMetaObject::invokeMethod(this, &ServiceConnection::nextRequest, Qt::QueuedConnection);
}

bool ServiceConnection::keepsAlive() const
{
    if (m_parser.version() != "HTTP/1.1" || m_served >= m_server.limits().maxRequestsPerConnection)
        return false;
    return !m_parser.header("connection").toLower().contains("close");
}

void ServiceConnection::nextRequest()
{
    if (m_closed || !m_responded || !m_keepAlive || m_socket->bytesToWrite() > 0)
        return;
    // Bytes after the request are the start of the next one.
    const QByteArray rest = m_parser.rest();
    m_parser = HttpRequestParser(m_server.limits().maxHeaderBytes, m_server.limits().maxBodyBytes);
    m_responded = false;
    m_keepAlive = false;
    m_hasHead = false;
    m_logPrefix = m_peer;
    m_idle = true;
    m_deadline.start(m_server.limits().keepAliveIdleMs);
    take(rest);
    readRequest();
}

bool ServiceConnection::waitsOnClient() const
{
    if (m_closed)
        return false;
    if (m_responded)
        return m_socket->bytesToWrite() > 0;
    if (m_parser.state() != HttpRequestParser::State::NeedMore || m_socket->bytesAvailable() > 0)
        return false;
    // Bytes the event loop has not read yet: the client has sent more, it is not holding the connection idle.
    int unread = 0;
    return ::ioctl(int(m_socket->socketDescriptor()), FIONREAD, &unread) != 0 || unread == 0;
}

bool ServiceConnection::clientWaits() const
{
    if (m_closed || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    // A client that has closed its side has gone: it sent its request and hung up (a Connection: close client
    // keeps its side open until it has read the reply).
    char byte = 0;
    const ssize_t peeked = ::recv(int(m_socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked > 0 || (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
}

void ServiceConnection::close()
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    m_deadline.stop();
    if (m_closed)
        return;
    m_closed = true;
    emit finished();
    deleteLater();
}

} // namespace service
