#include "XmlRpcFldigiClient.h"

#include "CurlSupport.h"
#include "FldigiSettingsFile.h"
#include "XmlRpc.h"

#include <curl/curl.h>

#include <algorithm>

namespace {

using namespace Qt::StringLiterals;

// fldigi's replies are small; a receive pane read is the largest, and its answer is held to what was asked for.
constexpr qsizetype kMaxReply = 256 * 1024;

// A reply body as it arrives, up to a cap.
struct ReplyBody {
    QByteArray bytes;
    qsizetype cap = kMaxReply;
    bool tooLarge = false;
};

size_t collect(char* data, size_t size, size_t count, void* user)
{
    auto* body = static_cast<ReplyBody*>(user);
    const size_t bytes = size * count;
    if (body->bytes.size() + qsizetype(bytes) > body->cap) {
        body->tooLarge = true;
        return 0;
    }
    body->bytes.append(data, qsizetype(bytes));
    return bytes;
}

} // namespace

struct XmlRpcFldigiClient::Connection {
    CURL* curl = nullptr;
    curl_slist* headers = nullptr;
    QByteArray url;
    long timeoutMs = 0;

    ~Connection()
    {
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
    }
};

XmlRpcFldigiClient::XmlRpcFldigiClient(const QString& host, quint16 port, std::chrono::milliseconds timeout)
    : m_connection(std::make_unique<Connection>())
    , m_address(u"%1:%2"_s.arg(host).arg(port))
{
    net::initCurl();
    m_connection->curl = curl_easy_init();
    m_connection->headers = curl_slist_append(nullptr, "Content-Type: text/xml");
    m_connection->headers = curl_slist_append(m_connection->headers, "Expect:");
    const QString bracketed = host.contains(u':') ? u'[' + host + u']' : host;
    m_connection->url = u"http://%1:%2/RPC2"_s.arg(bracketed).arg(port).toUtf8();
    m_connection->timeoutMs = long(timeout.count());
}

XmlRpcFldigiClient::~XmlRpcFldigiClient() = default;

std::optional<QVariant> XmlRpcFldigiClient::call(const QString& method, const QVariantList& params)
{
    return call(method, params, kMaxReply);
}

std::optional<QVariant> XmlRpcFldigiClient::call(const QString& method, const QVariantList& params, qsizetype maxReply)
{
    CURL* curl = m_connection->curl;
    if (!curl) {
        setFailure(Failure::NoAnswer, u"libcurl could not start"_s);
        return std::nullopt;
    }
    const QByteArray request = xmlrpc::encodeCall(method, params);
    ReplyBody body;
    body.cap = maxReply;
    curl_easy_setopt(curl, CURLOPT_URL, m_connection->url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "verbolt-fldigi");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, m_connection->headers);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, m_connection->timeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, m_connection->timeoutMs);
    const CURLcode result = curl_easy_perform(curl);
    if (body.tooLarge) {
        setFailure(Failure::NoAnswer,
            u"%1 answered %2 with more than %3 bytes: it is not fldigi's XML-RPC server"_s.arg(m_address, method)
                .arg(maxReply));
        return std::nullopt;
    }
    if (result == CURLE_COULDNT_CONNECT) {
        setFailure(Failure::Unreachable, u"nothing answers at %1"_s.arg(m_address));
        return std::nullopt;
    }
    if (result != CURLE_OK) {
        setFailure(Failure::NoAnswer,
            u"%1 gave no answer to %2: %3"_s.arg(m_address, method, QString::fromUtf8(curl_easy_strerror(result))));
        return std::nullopt;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        setFailure(Failure::NoAnswer,
            u"%1 answered %2 with HTTP status %3: it is not fldigi's XML-RPC server"_s.arg(m_address, method)
                .arg(status));
        return std::nullopt;
    }
    const xmlrpc::Reply reply = xmlrpc::decodeReply(body.bytes);
    if (!reply.ok()) {
        setFailure(Failure::Refused, u"fldigi refused %1: %2"_s.arg(method, reply.error));
        return std::nullopt;
    }
    setFailure(Failure::None);
    return reply.value;
}

std::optional<QString> XmlRpcFldigiClient::text(const QString& method)
{
    const std::optional<QVariant> value = call(method);
    if (!value)
        return std::nullopt;
    return value->toString();
}

std::optional<QString> XmlRpcFldigiClient::name()
{
    return text(u"fldigi.name"_s);
}

std::optional<QString> XmlRpcFldigiClient::version()
{
    return text(u"fldigi.version"_s);
}

std::optional<QString> XmlRpcFldigiClient::stationCallsign()
{
    // Read once: the answer is asked for with every line received.
    if (m_stationCallsign)
        return m_stationCallsign;
    // fldigi offers no method for it; its settings file, in the folder it names, holds it as saved last.
    const std::optional<QString> folder = text(u"fldigi.config_dir"_s);
    if (!folder)
        return std::nullopt;
    QString why;
    m_stationCallsign = FldigiSettingsFile::callsign(*folder, &why);
    if (!m_stationCallsign) {
        qWarning("verbolt-fldigi: no callsign from fldigi's settings: %s", qPrintable(why));
        m_stationCallsign = QString();
    }
    return m_stationCallsign;
}

std::optional<QString> XmlRpcFldigiClient::modemName()
{
    return text(u"modem.get_name"_s);
}

std::optional<QString> XmlRpcFldigiClient::logCall()
{
    return text(u"log.get_call"_s);
}

std::optional<FldigiClient::TrxState> XmlRpcFldigiClient::trxState()
{
    const std::optional<QString> state = text(u"main.get_trx_state"_s);
    if (!state)
        return std::nullopt;
    if (*state == "RX"_L1) {
        // The modem is back on receive a moment before the T/R button is: until then main.tx does nothing.
        const std::optional<QString> button = text(u"main.get_trx_status"_s);
        if (!button)
            return std::nullopt;
        return *button == "rx"_L1 ? TrxState::Receive : TrxState::Transmit;
    }
    if (*state == "TX"_L1)
        return TrxState::Transmit;
    return TrxState::Other;
}

std::optional<int> XmlRpcFldigiClient::rxLength()
{
    const std::optional<QVariant> value = call(u"text.get_rx_length"_s);
    if (!value)
        return std::nullopt;
    if (value->typeId() != QMetaType::Int || value->toInt() < 0) {
        setFailure(Failure::NoAnswer,
            u"%1 answered text.get_rx_length with %2, not a length"_s.arg(m_address, value->toString().left(40)));
        return std::nullopt;
    }
    return value->toInt();
}

std::optional<QByteArray> XmlRpcFldigiClient::rx(int start, int length)
{
    // The pane's bytes come as base64, a third larger and maybe broken into lines, inside a little XML.
    const qsizetype maxReply = 2 * qsizetype(std::max(length, 0)) + 4096;
    const std::optional<QVariant> value = call(u"text.get_rx"_s, {start, length}, maxReply);
    if (!value)
        return std::nullopt;
    const QByteArray bytes = value->toByteArray();
    if (bytes.size() > length) {
        setFailure(Failure::NoAnswer,
            u"%1 answered text.get_rx with %2 bytes, more than the %3 asked for"_s.arg(m_address)
                .arg(bytes.size())
                .arg(length));
        return std::nullopt;
    }
    return bytes;
}

bool XmlRpcFldigiClient::addTx(const QString& text)
{
    return call(u"text.add_tx"_s, {text}).has_value();
}

bool XmlRpcFldigiClient::transmit()
{
    return call(u"main.tx"_s).has_value();
}
