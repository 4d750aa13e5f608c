#pragma once

#include "ChatHost.h"
#include "ChatHostBus.h"

#include <QDBusConnection>
#include <QLatin1String>

#include <memory>

class OrgVerboltChatHostInterface;
class OrgFreedesktopDBusPropertiesInterface;

/// The chat host reached on the session bus under the name org.verbolt.ChatHost.
class DBusChatHost : public ChatHost
{
    Q_OBJECT
public:
    static constexpr QLatin1String serviceName = ChatHostBus::serviceName;
    static constexpr QLatin1String objectPath = ChatHostBus::objectPath;
    static constexpr QLatin1String chatHostInterface = ChatHostBus::chatHostInterface;
    static constexpr QLatin1String stationInfoInterface = ChatHostBus::stationInfoInterface;
    static constexpr QLatin1String stationInfoPath = ChatHostBus::stationInfoPath;

    /// Attaches to the chat host on the session bus. Returns nullptr and sets *why (when given) if there is no
    /// session bus or no program owns the host's name; never starts a host and never waits long.
    static std::unique_ptr<ChatHost> create(QString* why);
    /// The same on a given bus connection.
    static std::unique_ptr<ChatHost> create(const QDBusConnection& bus, QString* why);

    ~DBusChatHost() override;

    std::optional<QString> callsign() override;
    void requestCallsign(CallsignDone done) override;
    void sendChatText(const QString& text, SendDone done) override;
    void requestStatus(StatusDone done) override;
    void applyCallSettings() override;

private slots:
    void endOnce();

private:
    using PropertyDone = std::function<void(const std::optional<QVariant>& value)>;

    explicit DBusChatHost(const QDBusConnection& bus);

    std::optional<QVariant> readProperty(
        OrgFreedesktopDBusPropertiesInterface& object, const QString& interface, const QString& name);
    void requestProperty(OrgFreedesktopDBusPropertiesInterface& object, const QString& interface, const QString& name,
        PropertyDone done);
    bool failed(const QDBusError& error, const QString& what);
    // The station-information object StationInfo names; nullptr (and why) when it names none.
    OrgFreedesktopDBusPropertiesInterface* stationProperties(const std::optional<QVariant>& station);
    std::optional<QString> callsignFrom(const std::optional<QVariant>& call);

    QDBusConnection m_bus;
    std::unique_ptr<OrgVerboltChatHostInterface> m_chat;
    std::unique_ptr<OrgFreedesktopDBusPropertiesInterface> m_chatProperties;
    std::unique_ptr<OrgFreedesktopDBusPropertiesInterface> m_stationProperties;
    // What the host said the text in flight became.
    std::optional<QString> m_sentAs;
    int m_timeout = -1;
    bool m_closed = false;
};
