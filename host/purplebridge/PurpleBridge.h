#pragma once

#include "PurpleClient.h"

#include <QObject>
#include <QString>

#include <deque>
#include <map>
#include <optional>
#include <vector>

/// Follows one conversation of a libpurple program and turns it into chat host texts: partners' messages there
/// come out as "NICK>text" in plain text, and texts sent go into it as markup that reads literally.
class PurpleBridge : public QObject
{
    Q_OBJECT
public:
    struct Options {
        /// The conversation to follow (a channel, a buddy); empty for the most recently active one.
        QString conversation;
        /// The operator's name to give out; empty for the one the conversation shows.
        QString callsign;
    };

    PurpleBridge(PurpleClient& purple, const Options& options, QObject* parent = nullptr);

    /// Picks the first conversation to follow; says which through notice().
    void start();
    /// Follows the named conversation: at once if it is open, else as soon as it opens.
    void follow(const QString& name);

    /// The operator's name as the partner sees it in the followed conversation.
    QString callsign();
    /// Sends plain text (lines separated by CR) into the followed conversation; false with *why set if it could not.
    bool sendChatText(const QString& text, QString* why);

    /// The followed conversation, 0 for none.
    int followed() const { return m_followed; }

signals:
    /// A partner's message in the followed conversation, as "NICK>text" with lines separated by CR.
    void chatTextReceived(const QString& text);
    /// The chat program has gone; nothing more will come.
    void closing(const QString& why);
    /// What the bridge says about itself, for its operator.
    void notice(const QString& text);

private:
    struct FirstMessage {
        int account;
        QString sender;
        QString markup;
        uint flags;
    };

    void onMessage(int account, const QString& sender, const QString& markup, int conversation, uint flags);
    void onCreated(int id);
    void onDeleting(int id);
    void onEnded(const QString& why);

    void deliver(
        const PurpleClient::Conversation& conversation, const QString& sender, const QString& markup, uint flags);
    std::optional<PurpleClient::Conversation> info(int id);
    std::optional<PurpleClient::Conversation> find(const QString& name);
    void touch(int id);
    void followConversation(const PurpleClient::Conversation& conversation);
    // Follows the most recently active conversation other than one that is closing.
    void followMostRecent(int closing = 0);
    QString describe(const PurpleClient::Conversation& conversation);

    PurpleClient& m_purple;
    QString m_callsign;
    QString m_wanted;
    int m_followed = 0;
    bool m_ended = false;
    std::map<int, PurpleClient::Conversation> m_known;
    // Conversations with something going on since the start, the most recent first.
    std::vector<int> m_recent;
    // First messages of new IMs, until their conversation is created.
    std::deque<FirstMessage> m_firstMessages;
};
