#include "XmlRpcFldigiClient.h"

#include "CurlSupport.h"
#include "XmlRpc.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <curl/curl.h>

namespace {

using namespace Qt::StringLiterals;

// fldigi's replies are small; a receive pane read is the largest, and the bridge reads it in pieces.
constexpr qsizetype kMaxReply = 4 * 1024 * 1024;

size_t collect(char* data, size_t size, size_t count, void* user)
{
    auto* body = static_cast<QByteArray*>(user);
    const size_t bytes = size * count;
    if (body->size() + qsizetype(bytes) > kMaxReply)
        return 0;
    body->append(data, qsizetype(bytes));
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
    CURL* curl = m_connection->curl;
    if (!curl) {
        setFailure(Failure::NoAnswer, u"libcurl could not start"_s);
        return std::nullopt;
    }
    const QByteArray request = xmlrpc::encodeCall(method, params);
    QByteArray body;
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
    const xmlrpc::Reply reply = xmlrpc::decodeReply(body);
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
    // fldigi offers no method for it; its settings file, in the folder it names, holds it as saved last.
    const std::optional<QString> folder = text(u"fldigi.config_dir"_s);
    if (!folder)
        return std::nullopt;
    QFile settings(QDir(*folder).filePath(u"fldigi_def.xml"_s));
    if (!settings.open(QIODevice::ReadOnly))
        return QString();
    static const QRegularExpression myCall(u"<MYCALL>([^<]*)</MYCALL>"_s);
    return myCall.match(QString::fromUtf8(settings.readAll())).captured(1).trimmed();
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
    return value->toInt();
}

std::optional<QByteArray> XmlRpcFldigiClient::rx(int start, int length)
{
    const std::optional<QVariant> value = call(u"text.get_rx"_s, {start, length});
    if (!value)
        return std::nullopt;
    return value->toByteArray();
}

bool XmlRpcFldigiClient::addTx(const QString& text)
{
    return call(u"text.add_tx"_s, {text}).has_value();
}

bool XmlRpcFldigiClient::transmit()
{
    return call(u"main.tx"_s).has_value();
}
