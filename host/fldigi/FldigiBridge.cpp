#include "FldigiBridge.h"

#include "ModeAlphabet.h"
#include "PartnerCall.h"

namespace {

using namespace Qt::StringLiterals;
using std::chrono::milliseconds;

// The receive pane is read this many bytes at most a poll, in one call: a long contact's pane is large, and the
// length given may be anything at all when something else answers at fldigi's address. A pane still longer is read
// on at the next poll: fldigi decodes far fewer characters than that in a poll's time.
constexpr int kReadPiece = 64 * 1024;

// How long fldigi may take to start transmitting once asked.
constexpr milliseconds kKeyUpLimit = std::chrono::seconds(5);

milliseconds steadyNow()
{
    return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

} // namespace

FldigiBridge::FldigiBridge(FldigiClient& fldigi, Options options, QObject* parent)
    : QObject(parent)
    , m_fldigi(fldigi)
    , m_options(std::move(options))
    , m_clock(m_options.clock ? m_options.clock : Clock(steadyNow))
    , m_lines(m_options.pause)
{ }

bool FldigiBridge::start(QString* why)
{
    const std::optional<QString> name = m_fldigi.name();
    if (!name) {
        *why = m_fldigi.failure() == FldigiClient::Failure::Unreachable
            ? tr("fldigi is not running, or its XML-RPC server is off: %1").arg(m_fldigi.errorString())
            : m_fldigi.errorString();
        return false;
    }
    if (name->compare("fldigi"_L1, Qt::CaseInsensitive) != 0) {
        *why = tr("the program at that address is %1, not fldigi").arg(*name);
        return false;
    }
    const std::optional<QString> version = m_fldigi.version();
    m_program = *name + u' ' + version.value_or(QString());
    // What the pane held before the bridge started is not news.
    const std::optional<int> length = m_fldigi.rxLength();
    if (!length) {
        *why = m_fldigi.errorString();
        return false;
    }
    m_position = *length;
    return true;
}

void FldigiBridge::poll()
{
    if (m_ended)
        return;
    const std::optional<int> length = m_fldigi.rxLength();
    if (!length)
        return failed(m_fldigi);
    if (*length < m_position) {
        // The operator cleared the pane.
        m_position = 0;
        m_decoder.resetState();
    }
    QByteArray bytes;
    if (m_position < *length) {
        const int asked = std::min(kReadPiece, *length - m_position);
        const std::optional<QByteArray> piece = m_fldigi.rx(m_position, asked);
        if (!piece)
            return failed(m_fldigi);
        if (piece->size() > asked) {
            return failed(FldigiClient::Failure::NoAnswer,
                tr("fldigi answered a read of %1 bytes with %2").arg(asked).arg(piece->size()));
        }
        bytes = *piece;
    }
    // Read after the text: text read while fldigi still transmits is all this station's.
    const std::optional<FldigiClient::TrxState> state = m_fldigi.trxState();
    if (!state)
        return failed(m_fldigi);
    m_failingSince.reset();
    m_position += int(bytes.size());
    followTransmission(*state);

    const QString chars = m_decoder.decode(bytes);
    const QString partner = m_echo.partnerText(chars, *state == FldigiClient::TrxState::Transmit);
    for (const QString& line : m_lines.add(partner, now()))
        raise(line);
    if (const std::optional<QString> line = m_lines.idle(now()))
        raise(*line);
}

QString FldigiBridge::callsign()
{
    if (!m_options.callsign.isEmpty())
        return m_options.callsign;
    return m_fldigi.stationCallsign().value_or(QString());
}

bool FldigiBridge::sendChatText(const QString& text, QString* sentAs, QString* why)
{
    if (m_ended) {
        *why = tr("fldigi has quit");
        return false;
    }
    const std::optional<QString> modem = m_fldigi.modemName();
    if (!modem) {
        *why = m_fldigi.errorString();
        return false;
    }
    const onair::Fitted fitted = ModeAlphabet::forModem(*modem).fit(text);
    if (!fitted.ok()) {
        *why = tr("%1 (fldigi's modem is %2)").arg(fitted.refusal, *modem);
        return false;
    }
    // What the partner sent up to now is theirs, before this station's echo starts.
    poll();
    if (m_ended) {
        *why = tr("fldigi has quit");
        return false;
    }
    if (m_transmission != Transmission::None)
        m_waiting.push_back(fitted.text);
    else if (!transmit(fitted.text, why))
        return false;
    *sentAs = QString(fitted.text).replace(u'\n', u'\r');
    return true;
}

bool FldigiBridge::transmit(const QString& text, QString* why)
{
    // ^r: fldigi returns to receive once the text before it has gone.
    if (!m_fldigi.addTx(text + u"\n^r"_s) || !m_fldigi.transmit()) {
        *why = m_fldigi.errorString();
        return false;
    }
    m_echo.expect(text);
    m_transmission = Transmission::Asked;
    m_askedAt = now();
    return true;
}

void FldigiBridge::followTransmission(FldigiClient::TrxState state)
{
    using State = FldigiClient::TrxState;
    if (m_transmission == Transmission::Asked && state == State::Transmit)
        m_transmission = Transmission::OnAir;
    else if (m_transmission == Transmission::OnAir && state != State::Transmit)
        m_transmission = Transmission::None;
    // fldigi takes a moment to key up; one that never does is not waited for.
    else if (m_transmission == Transmission::Asked && now() - m_askedAt >= kKeyUpLimit)
        m_transmission = Transmission::None;
    if (m_transmission != Transmission::None || m_waiting.empty())
        return;
    const QString next = m_waiting.front();
    m_waiting.pop_front();
    QString why;
    if (!transmit(next, &why))
        qWarning("verbolt-fldigi: a text waiting to go out was lost: %s", qPrintable(why));
}

void FldigiBridge::raise(const QString& line)
{
    const QString own = callsign();
    const QString inLine = partnercall::fromText(line, own);
    if (!inLine.isEmpty())
        m_lastDeCall = inLine;
    QString call = m_fldigi.logCall().value_or(QString()).trimmed();
    if (call.isEmpty())
        call = m_lastDeCall;
    if (call.isEmpty())
        call = m_fldigi.modemName().value_or(u"fldigi"_s);
    emit chatTextReceived(call + u'>' + line);
}

void FldigiBridge::failed(const FldigiClient& client)
{
    failed(client.failure(), client.errorString());
}

void FldigiBridge::failed(FldigiClient::Failure failure, const QString& why)
{
    const milliseconds at = now();
    if (!m_failingSince)
        m_failingSince = at;
    const milliseconds failing = at - *m_failingSince;
    const bool gone = failure == FldigiClient::Failure::Unreachable && failing >= m_options.goneAfter;
    const bool silent = failure == FldigiClient::Failure::NoAnswer && failing >= m_options.silentAfter;
    if (!gone && !silent)
        return;
    m_ended = true;
    emit closing(gone ? tr("fldigi has quit (%1)").arg(why) : tr("fldigi stopped answering (%1)").arg(why));
}
