#include "DBusPurpleClient.h"

#include <QDBusArgument>
#include <QDBusServiceWatcher>

namespace {

// libpurple answers from its main loop; a program that takes longer than this is treated as not answering.
constexpr int kCallTimeoutMs = 10000;

std::vector<int> numbers(const QVariant& value)
{
    std::vector<int> list;
    if (value.metaType() == QMetaType::fromType<QList<int>>()) {
        const QList<int> items = value.value<QList<int>>();
        list.assign(items.begin(), items.end());
    } else if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            int item = 0;
            argument >> item;
            list.push_back(item);
        }
        argument.endArray();
    } else {
        for (const QVariant& item : value.toList())
            list.push_back(item.toInt());
    }
    return list;
}

} // namespace

DBusPurpleClient::DBusPurpleClient(const QDBusConnection& bus, QObject* parent)
    : PurpleClient(parent)
    , m_bus(bus)
{
    // Received*Msg carry (account, sender, message, conversation, flags); own and other senders' messages alike.
    const char* receivedSlot = SLOT(onReceivedMessage(int, QString, QString, int, uint));
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("ReceivedImMsg"), this, receivedSlot);
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("ReceivedChatMsg"), this, receivedSlot);
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("ConversationCreated"), this,
        SLOT(onConversationCreated(int)));
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("DeletingConversation"), this,
        SLOT(onDeletingConversation(int)));
    m_bus.connect(serviceName, objectPath, interfaceName, QStringLiteral("Quitting"), this, SLOT(onQuitting()));

    // A program that is killed says nothing; losing its name ends the bridge just as quitting does.
    auto* watcher = new QDBusServiceWatcher(serviceName, m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        if (!std::exchange(m_ended, true))
            emit ended(tr("the chat program left the session bus"));
    });
}

void DBusPurpleClient::onReceivedMessage(
    int account, const QString& sender, const QString& markup, int conversation, uint flags)
{
    if (!m_ended)
        emit messageReceived(account, sender, markup, conversation, flags);
}

void DBusPurpleClient::onConversationCreated(int id)
{
    if (!m_ended)
        emit conversationCreated(id);
}

void DBusPurpleClient::onDeletingConversation(int id)
{
    if (!m_ended)
        emit conversationDeleting(id);
}

void DBusPurpleClient::onQuitting()
{
    if (!std::exchange(m_ended, true))
        emit ended(tr("the chat program is quitting"));
}

QDBusMessage DBusPurpleClient::call(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName, method);
    message.setArguments(arguments);
    // No activation: a program that is not running is not started by asking it.
    message.setAutoStartService(false);
    return m_bus.call(message, QDBus::Block, kCallTimeoutMs);
}

std::optional<QVariant> DBusPurpleClient::result(const QString& method, const QVariantList& arguments)
{
    const QDBusMessage answer = call(method, arguments);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return std::nullopt;
    return answer.arguments().constFirst();
}

int DBusPurpleClient::number(const QString& method, int argument)
{
    return result(method, {argument}).value_or(QVariant()).toInt();
}

QString DBusPurpleClient::text(const QString& method, int argument)
{
    return result(method, {argument}).value_or(QVariant()).toString();
}

std::vector<int> DBusPurpleClient::conversations()
{
    const std::optional<QVariant> list = result(QStringLiteral("PurpleGetConversations"), {});
    return list ? numbers(*list) : std::vector<int>();
}

std::optional<PurpleClient::Conversation> DBusPurpleClient::conversation(int id)
{
    const int type = number(QStringLiteral("PurpleConversationGetType"), id);
    if (type != int(Kind::Im) && type != int(Kind::Chat))
        return std::nullopt;
    Conversation info;
    info.id = id;
    info.kind = Kind(type);
    info.name = text(QStringLiteral("PurpleConversationGetName"), id);
    info.account = number(QStringLiteral("PurpleConversationGetAccount"), id);
    return info;
}

bool DBusPurpleClient::hasFocus(int id)
{
    return number(QStringLiteral("PurpleConversationHasFocus"), id) != 0;
}

std::vector<int> DBusPurpleClient::activeAccounts()
{
    const std::optional<QVariant> list = result(QStringLiteral("PurpleAccountsGetAllActive"), {});
    return list ? numbers(*list) : std::vector<int>();
}

QString DBusPurpleClient::accountName(int account)
{
    // The connection's name is the one in use (an IRC nick the server made unique); the user name when offline.
    const int connection = number(QStringLiteral("PurpleAccountGetConnection"), account);
    const QString shown = connection ? text(QStringLiteral("PurpleConnectionGetDisplayName"), connection) : QString();
    return shown.isEmpty() ? text(QStringLiteral("PurpleAccountGetUsername"), account) : shown;
}

QString DBusPurpleClient::chatNick(int conversation)
{
    const int chat = number(QStringLiteral("PurpleConversationGetChatData"), conversation);
    return chat ? text(QStringLiteral("PurpleConvChatGetNick"), chat) : QString();
}

bool DBusPurpleClient::send(const Conversation& conversation, const QString& markup, QString* why)
{
    const bool im = conversation.kind == Kind::Im;
    const std::optional<QVariant> data
        = result(im ? QStringLiteral("PurpleConversationGetImData") : QStringLiteral("PurpleConversationGetChatData"),
            {conversation.id});
    if (!data || data->toInt() == 0) {
        *why = tr("the conversation %1 is no longer open in the chat program").arg(conversation.name);
        return false;
    }
    const QDBusMessage answer
        = call(im ? QStringLiteral("PurpleConvImSend") : QStringLiteral("PurpleConvChatSend"), {data->toInt(), markup});
    if (answer.type() != QDBusMessage::ReplyMessage) {
        *why = tr("the chat program did not take the text: %1").arg(answer.errorMessage());
        return false;
    }
    return true;
}
