#include "Js8Bridge.h"

#include "Js8Text.h"
#include "OnAirText.h"

using namespace Qt::StringLiterals;

Js8Bridge::Js8Bridge(Js8Client& client, const Options& options, const QString& callsign, QObject* parent)
    : QObject(parent)
    , m_client(client)
    , m_options(options)
    , m_callsign(callsign)
{
    connect(&m_client, &Js8Client::directedReceived, this, &Js8Bridge::onDirected);
    connect(&m_client, &Js8Client::callsignReceived, this, [this](const QString& call) {
        if (!call.trimmed().isEmpty())
            m_callsign = call.trimmed();
    });
    connect(&m_client, &Js8Client::ended, this, &Js8Bridge::closing);
}

QString Js8Bridge::callsign()
{
    m_client.requestCallsign();
    return m_callsign;
}

QString Js8Bridge::addressee() const
{
    if (!m_options.partner.isEmpty())
        return m_options.partner;
    if (!m_lastWriter.isEmpty())
        return m_lastWriter;
    return m_options.group;
}

std::optional<QString> Js8Bridge::sendChatText(const QString& text, QString* why)
{
    const QString to = addressee();
    if (to.isEmpty()) {
        *why = u"no station to send to yet: nobody has written to you (start the bridge with --partner CALL or "
               u"--group @NAME to write first)"_s;
        return std::nullopt;
    }
    // A JS8Call message is one line.
    QString line = text;
    line.replace(u'\r', u' ').replace(u'\n', u' ');
    const onair::Fitted fitted = onair::fitText(line, js8::carries);
    if (!fitted.ok()) {
        *why = u"JS8Call: "_s + fitted.refusal;
        return std::nullopt;
    }
    const QString sent = fitted.text.simplified();
    if (sent.isEmpty()) {
        *why = u"JS8Call: nothing of the text can be sent in this mode"_s;
        return std::nullopt;
    }
    if (!m_client.sendMessage(to + u' ' + sent, why))
        return std::nullopt;
    return sent;
}

void Js8Bridge::onDirected(const Js8Client::Directed& message)
{
    // JS8Call's own commands (SNR?, HEARTBEAT, ACK, ...) are answered by JS8Call; only free text is chat.
    if (!message.cmd.trimmed().isEmpty() || js8::sameCall(message.from, m_callsign))
        return;
    const bool toMe = js8::sameCall(message.to, m_callsign);
    const bool toGroup = js8::sameCall(message.to, m_options.group);
    if (!toMe && !toGroup)
        return;
    if (!m_options.partner.isEmpty() && !js8::sameCall(message.from, m_options.partner))
        return;
    const QString body = js8::messageBody(message);
    if (body.isEmpty())
        return;
    m_lastWriter = message.from.trimmed().toUpper();
    emit chatTextReceived(m_lastWriter + u'>' + body);
}
