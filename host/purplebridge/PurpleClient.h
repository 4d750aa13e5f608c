#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

/// A running libpurple program (Pidgin, Finch), as the bridge sees it. Conversations and accounts are libpurple's
/// handles: positive numbers that stay valid while the thing they name exists.
class PurpleClient : public QObject
{
    Q_OBJECT
public:
    /// libpurple's conversation types.
    enum class Kind { Im = 1, Chat = 2 };

    struct Conversation {
        int id = 0;
        Kind kind = Kind::Im;
        QString name;
        int account = 0;
    };

    /// libpurple's message flags, those the bridge looks at.
    enum MessageFlag : uint {
        Send = 0x1,
        Receive = 0x2,
        System = 0x4,
        Error = 0x200,
        Invisible = 0x8000,
    };

    using QObject::QObject;
    ~PurpleClient() override = default;

    /// Open conversations, the newest first; empty when the program did not answer.
    virtual std::vector<int> conversations() = 0;
    /// What a conversation is; nullopt when it is gone or the program did not answer.
    virtual std::optional<Conversation> conversation(int id) = 0;
    /// Whether the program's window shows this conversation in front.
    virtual bool hasFocus(int id) = 0;
    /// The enabled accounts.
    virtual std::vector<int> activeAccounts() = 0;
    /// The account's name on its network as the program shows it (an IRC nick@server, a JID), or its user name.
    virtual QString accountName(int account) = 0;
    /// The operator's nick in a chat conversation; empty when unknown.
    virtual QString chatNick(int conversation) = 0;
    /// Sends markup into a conversation as the operator; false with *why set when the program did not take it.
    virtual bool send(const Conversation& conversation, const QString& markup, QString* why) = 0;

signals:
    /// A message arrived in an IM or chat conversation; conversation is 0 for the first message of an IM whose
    /// conversation does not exist yet (conversationCreated follows).
    void messageReceived(int account, const QString& sender, const QString& markup, int conversation, uint flags);
    void conversationCreated(int id);
    void conversationDeleting(int id);
    /// The program is quitting, or has left the bus.
    void ended(const QString& why);
};
