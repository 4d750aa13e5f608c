#pragma once

#include "PurpleClient.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QLatin1String>

/// libpurple's own D-Bus interface (im.pidgin.purple.PurpleService on the session bus).
class DBusPurpleClient : public PurpleClient
{
    Q_OBJECT
public:
    static constexpr QLatin1String serviceName{"im.pidgin.purple.PurpleService"};
    static constexpr QLatin1String objectPath{"/im/pidgin/purple/PurpleObject"};
    static constexpr QLatin1String interfaceName{"im.pidgin.purple.PurpleInterface"};

    /// Subscribes to the program's signals; only those its current owner sends get through.
    explicit DBusPurpleClient(const QDBusConnection& bus, QObject* parent = nullptr);

    std::vector<int> conversations() override;
    std::optional<Conversation> conversation(int id) override;
    bool hasFocus(int id) override;
    std::vector<int> activeAccounts() override;
    QString accountName(int account) override;
    QString chatNick(int conversation) override;
    bool send(const Conversation& conversation, const QString& markup, QString* why) override;

private slots:
    void onReceivedMessage(int account, const QString& sender, const QString& markup, int conversation, uint flags);
    void onConversationCreated(int id);
    void onDeletingConversation(int id);
    void onQuitting();

private:
    QDBusMessage call(const QString& method, const QVariantList& arguments);
    std::optional<QVariant> result(const QString& method, const QVariantList& arguments);
    int number(const QString& method, int argument);
    QString text(const QString& method, int argument);

    QDBusConnection m_bus;
    bool m_ended = false;
};
