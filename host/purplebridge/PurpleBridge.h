#pragma once

#include "PurpleClient.h"

#include <QObject>
#include <QString>

#include <deque>
#include <map>
#include <optional>
#include <vector>

/// Follows one conversation of a libpurple program and turns it into chat host texts: partners' messages there
/// come out as "NICK>text" in plain text, and texts sent go into it as markup that reads literally. It never switches
/// by itself: it follows the conversation asked for, or else the first one it is shown, and when that one closes it
/// follows none until told which.
class PurpleBridge : public QObject
{
    Q_OBJECT
public:
    struct Options {
        /// The conversation to follow (a channel, a buddy); empty for the one the program shows in front.
        QString conversation;
        /// The operator's name to give out; empty for the one the conversation shows.
        QString callsign;
    };

    PurpleBridge(PurpleClient& purple, const Options& options, QObject* parent = nullptr);

    /// Picks the conversation to follow: the one asked for, else the one in front, else the newest, else the first that
    /// becomes active; says which through notice().
    void start();
    /// Follows the named conversation: at once if it is open, else as soon as it opens.
    void follow(const QString& name);

    /// The operator's name as the partner sees it in the followed conversation.
    QString callsign();
    /// Sends plain text (lines separated by CR) into the followed conversation; false with *why set if it could not.
    bool sendChatText(const QString& text, QString* why);

    /// The followed conversation, 0 for none.
    int followed() const { return m_followed; }
    /// What the bridge last said about itself through notice().
    QString status() const { return m_status; }

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
    void followConversation(const PurpleClient::Conversation& conversation);
    void followFront();
    QString describe(const PurpleClient::Conversation& conversation);
    void say(const QString& text);

    PurpleClient& m_purple;
    QString m_callsign;
    QString m_wanted;
    int m_followed = 0;
    // Once a conversation has been followed, none is taken up without being asked for.
    bool m_chosen = false;
    // The followed conversation that closed, while none is followed since.
    QString m_closed;
    QString m_status;
    bool m_ended = false;
    std::map<int, PurpleClient::Conversation> m_known;
    // First messages of new IMs, until their conversation is created.
    std::deque<FirstMessage> m_firstMessages;
};
