#include "DBusChatHost.h"

#include "chathostproxy.h"
#include "propertiesproxy.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include <utility>

namespace {

// The bus daemon itself answers at once; this only guards against a bus that has hung.
constexpr int busAnswerTimeoutMs = 2000;

// How long a call waits for a busy host once the call settings are applied: 15 minutes.
constexpr int busyHostTimeoutMs = 900000;

} // namespace

std::unique_ptr<ChatHost> DBusChatHost::create(QString* why)
{
    return create(QDBusConnection::sessionBus(), why);
}

std::unique_ptr<ChatHost> DBusChatHost::create(const QDBusConnection& bus, QString* why)
{
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return std::unique_ptr<ChatHost>();
    };
    if (!bus.isConnected())
        return fail(tr("There is no session bus to find the chat host on: %1").arg(bus.lastError().message()));

    // Watch the name before asking for it, so a host that leaves in between still ends the program.
    std::unique_ptr<DBusChatHost> host(new DBusChatHost(bus));

    // Asked of the bus rather than the host: no activation, and no waiting on a host that is not there.
    QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("NameHasOwner"));
    ask << QString(serviceName);
    const QDBusMessage answer = bus.call(ask, QDBus::Block, busAnswerTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage)
        return fail(tr("The session bus did not say whether the chat host is running: %1").arg(answer.errorMessage()));
    if (!answer.arguments().value(0).toBool())
        return fail(
            tr("The chat host is not running: no program owns the name %1 on the session bus.").arg(serviceName));
    return host;
}

DBusChatHost::DBusChatHost(const QDBusConnection& bus)
    : m_bus(bus)
    , m_chat(std::make_unique<OrgVerboltChatHostInterface>(serviceName, objectPath, bus))
    , m_chatProperties(std::make_unique<OrgFreedesktopDBusPropertiesInterface>(serviceName, objectPath, bus))
{
    // Subscribed by the well-known name: only signals sent by its current owner get through.
    connect(m_chat.get(), &OrgVerboltChatHostInterface::ChatTextReceived, this, [this](const QString& sText) {
        if (!m_closed)
            emit chatTextReceived(sText);
    });
    connect(m_chat.get(), &OrgVerboltChatHostInterface::Closing, this, &DBusChatHost::endOnce);
    // Raised by the host before it answers SendChatText: it arrives ahead of the answer.
    connect(m_chat.get(), &OrgVerboltChatHostInterface::ChatTextSent, this,
        [this](const QString& sText) { m_sentAs = sText; });

    // A host that dies says nothing; losing its name ends the program just as its closing would.
    auto* watcher = new QDBusServiceWatcher(serviceName, bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &DBusChatHost::endOnce);
    // So does losing the bus itself (the daemon died, or dropped us): no call or signal could reach the host again.
    m_bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
        QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), this, SLOT(endOnce()));
}

DBusChatHost::~DBusChatHost() = default;

std::optional<QString> DBusChatHost::callsign()
{
    OrgFreedesktopDBusPropertiesInterface* station
        = stationProperties(readProperty(*m_chatProperties, chatHostInterface, "StationInfo"));
    if (!station)
        return std::nullopt;
    return callsignFrom(readProperty(*station, stationInfoInterface, "Callsign"));
}

void DBusChatHost::requestCallsign(CallsignDone done)
{
    requestProperty(*m_chatProperties, chatHostInterface, "StationInfo",
        [this, done = std::move(done)](const std::optional<QVariant>& value) {
            OrgFreedesktopDBusPropertiesInterface* station = stationProperties(value);
            if (!station)
                return done(std::nullopt);
            requestProperty(*station, stationInfoInterface, "Callsign",
                [this, done](const std::optional<QVariant>& call) { done(callsignFrom(call)); });
        });
}

void DBusChatHost::sendChatText(const QString& text, SendDone done)
{
    m_sentAs.reset();
    auto* watcher = new QDBusPendingCallWatcher(m_chat->SendChatText(text), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, done = std::move(done)](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const bool delivered = !failed(call->error(), tr("The chat host did not take the text"));
            setChangedText(delivered ? std::exchange(m_sentAs, std::nullopt) : std::nullopt);
            done(delivered);
        });
}

void DBusChatHost::applyCallSettings()
{
    // A busy host simply answers late on the bus; waiting long enough is all it takes not to fail on it.
    m_timeout = busyHostTimeoutMs;
    m_chat->setTimeout(m_timeout);
    m_chatProperties->setTimeout(m_timeout);
    if (m_stationProperties)
        m_stationProperties->setTimeout(m_timeout);
}

void DBusChatHost::endOnce()
{
    if (m_closed)
        return;
    m_closed = true;
    emit closing();
}

std::optional<QVariant> DBusChatHost::readProperty(
    OrgFreedesktopDBusPropertiesInterface& object, const QString& interface, const QString& name)
{
    QDBusPendingReply<QDBusVariant> reply = object.Get(interface, name);
    reply.waitForFinished();
    if (failed(reply.error(), tr("Could not read %1 from the chat host").arg(name)))
        return std::nullopt;
    return reply.value().variant();
}

void DBusChatHost::requestProperty(
    OrgFreedesktopDBusPropertiesInterface& object, const QString& interface, const QString& name, PropertyDone done)
{
    auto* watcher = new QDBusPendingCallWatcher(object.Get(interface, name), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, name, done = std::move(done)](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *call;
            if (failed(reply.error(), tr("Could not read %1 from the chat host").arg(name)))
                return done(std::nullopt);
            done(reply.value().variant());
        });
}

bool DBusChatHost::failed(const QDBusError& error, const QString& what)
{
    if (!error.isValid())
        return false;
    setErrorString(what + QStringLiteral(": ") + error.message());
    return true;
}

OrgFreedesktopDBusPropertiesInterface* DBusChatHost::stationProperties(const std::optional<QVariant>& station)
{
    if (!station)
        return nullptr;
    if (station->metaType() != QMetaType::fromType<QDBusObjectPath>()) {
        setErrorString(tr("The chat host named no station information object."));
        return nullptr;
    }
    const QString path = station->value<QDBusObjectPath>().path();
    if (!m_stationProperties || m_stationProperties->path() != path) {
        m_stationProperties = std::make_unique<OrgFreedesktopDBusPropertiesInterface>(serviceName, path, m_bus);
        m_stationProperties->setTimeout(m_timeout);
    }
    return m_stationProperties.get();
}

std::optional<QString> DBusChatHost::callsignFrom(const std::optional<QVariant>& call)
{
    if (!call)
        return std::nullopt;
    if (call->metaType() != QMetaType::fromType<QString>()) {
        setErrorString(tr("The chat host gave a callsign that is not text."));
        return std::nullopt;
    }
    return call->toString();
}
