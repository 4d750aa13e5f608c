#pragma once

#include "PurpleClient.h"

#include <algorithm>
#include <map>

/// A libpurple program in memory: conversations and accounts the test sets up, signals the test raises, and the
/// messages the bridge sends.
class FakePurpleClient : public PurpleClient
{
public:
    struct Sent {
        int conversation;
        QString markup;
    };

    /// A conversation that is already open; no signal.
    int open(Kind kind, const QString& name, int account = 1)
    {
        const int id = m_nextId++;
        m_open[id] = Conversation{id, kind, name, account};
        m_order.insert(m_order.begin(), id);
        return id;
    }
    /// A conversation the program opens now.
    int create(Kind kind, const QString& name, int account = 1)
    {
        const int id = open(kind, name, account);
        emit conversationCreated(id);
        return id;
    }
    void close(int id)
    {
        emit conversationDeleting(id);
        m_open.erase(id);
        std::erase(m_order, id);
    }
    void receive(int conversation, const QString& sender, const QString& markup, uint flags = Receive, int account = 1)
    {
        emit messageReceived(account, sender, markup, conversation, flags);
    }
    void end(const QString& why) { emit ended(why); }

    std::vector<int> conversations() override { return m_order; }
    std::optional<Conversation> conversation(int id) override
    {
        const auto found = m_open.find(id);
        return found == m_open.end() ? std::nullopt : std::optional(found->second);
    }
    bool hasFocus(int id) override { return id == focused; }
    std::vector<int> activeAccounts() override { return accounts; }
    QString accountName(int account) override { return accountNames[account]; }
    QString chatNick(int conversation) override { return chatNicks[conversation]; }
    bool send(const Conversation& conversation, const QString& markup, QString* why) override
    {
        if (!refusal.isEmpty()) {
            *why = refusal;
            return false;
        }
        sent.push_back({conversation.id, markup});
        return true;
    }

    int focused = 0;
    std::vector<int> accounts{1};
    std::map<int, QString> accountNames{{1, QStringLiteral("oper@irc.example.net")}};
    std::map<int, QString> chatNicks;
    QString refusal;
    std::vector<Sent> sent;

private:
    int m_nextId = 100;
    std::map<int, Conversation> m_open;
    std::vector<int> m_order;
};
