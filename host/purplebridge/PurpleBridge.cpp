#include "PurpleBridge.h"

#include "PurpleMarkup.h"

#include <algorithm>

namespace {

// First messages kept while their conversations are created; libpurple creates each at once, so this only bounds
// what messages without a conversation (refused, blocked) can pile up.
constexpr size_t kMaxFirstMessages = 64;

constexpr uint kNotFromPartner
    = PurpleClient::Send | PurpleClient::System | PurpleClient::Error | PurpleClient::Invisible;

// "juan@example.org/phone" -> "juan@example.org": one partner, whichever device they write from.
QString withoutResource(const QString& name)
{
    return name.section(u'/', 0, 0);
}

// "oper@irc.example.net" -> "oper", "juan@example.org/phone" -> "juan": the name without its server.
QString localPart(const QString& name)
{
    return withoutResource(name).section(u'@', 0, 0);
}

bool sameName(const QString& a, const QString& b)
{
    return withoutResource(a).compare(withoutResource(b), Qt::CaseInsensitive) == 0;
}

} // namespace

PurpleBridge::PurpleBridge(PurpleClient& purple, const Options& options, QObject* parent)
    : QObject(parent)
    , m_purple(purple)
    , m_callsign(options.callsign)
    , m_wanted(options.conversation)
{
    connect(&m_purple, &PurpleClient::messageReceived, this, &PurpleBridge::onMessage);
    connect(&m_purple, &PurpleClient::conversationCreated, this, &PurpleBridge::onCreated);
    connect(&m_purple, &PurpleClient::conversationDeleting, this, &PurpleBridge::onDeleting);
    connect(&m_purple, &PurpleClient::ended, this, &PurpleBridge::onEnded);
}

void PurpleBridge::start()
{
    if (!m_wanted.isEmpty())
        follow(m_wanted);
    else
        followFront();
}

void PurpleBridge::follow(const QString& name)
{
    if (const std::optional<PurpleClient::Conversation> found = find(name)) {
        m_wanted.clear();
        followConversation(*found);
        return;
    }
    m_wanted = name;
    const std::optional<PurpleClient::Conversation> current = m_followed ? info(m_followed) : std::nullopt;
    if (current)
        say(tr("%1 is not open; still following %2 until it opens").arg(name, describe(*current)));
    else
        say(tr("waiting for the conversation %1 to open").arg(name));
}

QString PurpleBridge::callsign()
{
    if (!m_callsign.isEmpty())
        return m_callsign;
    if (const std::optional<PurpleClient::Conversation> current = m_followed ? info(m_followed) : std::nullopt) {
        if (current->kind == PurpleClient::Kind::Chat) {
            const QString nick = m_purple.chatNick(current->id);
            if (!nick.isEmpty())
                return nick;
        }
        return localPart(m_purple.accountName(current->account));
    }
    const std::vector<int> accounts = m_purple.activeAccounts();
    return accounts.empty() ? QString() : localPart(m_purple.accountName(accounts.front()));
}

bool PurpleBridge::sendChatText(const QString& text, QString* why)
{
    if (m_ended) {
        *why = tr("the chat program has ended");
        return false;
    }
    const std::optional<PurpleClient::Conversation> current = m_followed ? info(m_followed) : std::nullopt;
    if (!current) {
        if (!m_wanted.isEmpty())
            *why = tr("the conversation %1 is not open yet").arg(m_wanted);
        else if (!m_closed.isEmpty())
            *why = tr("the conversation %1 has closed and no other is followed (verbolt-purple --conversation NAME "
                      "follows one)")
                       .arg(m_closed);
        else
            *why = tr("no conversation is open in the chat program");
        return false;
    }
    return m_purple.send(*current, plainToMarkup(text), why);
}

void PurpleBridge::onMessage(int account, const QString& sender, const QString& markup, int conversation, uint flags)
{
    if (m_ended)
        return;
    if (conversation == 0) {
        m_firstMessages.push_back({account, sender, markup, flags});
        if (m_firstMessages.size() > kMaxFirstMessages)
            m_firstMessages.pop_front();
        return;
    }
    if (const std::optional<PurpleClient::Conversation> known = info(conversation))
        deliver(*known, sender, markup, flags);
}

void PurpleBridge::onCreated(int id)
{
    if (m_ended)
        return;
    const std::optional<PurpleClient::Conversation> created = info(id);
    if (!created)
        return;
    if (!m_wanted.isEmpty() && sameName(created->name, m_wanted)) {
        m_wanted.clear();
        followConversation(*created);
    } else if (!m_chosen && m_wanted.isEmpty()) {
        followConversation(*created);
    }
    if (created->kind != PurpleClient::Kind::Im)
        return;
    // The message that opened this conversation came just before it, without a conversation.
    std::vector<FirstMessage> opening;
    std::erase_if(m_firstMessages, [&](const FirstMessage& message) {
        const bool belongs = message.account == created->account && sameName(message.sender, created->name);
        if (belongs)
            opening.push_back(message);
        return belongs;
    });
    for (const FirstMessage& message : opening)
        deliver(*created, message.sender, message.markup, message.flags);
}

void PurpleBridge::onDeleting(int id)
{
    if (m_ended)
        return;
    // Asked of what is known only: by the time a question would reach the program, the conversation is gone.
    const auto known = m_known.find(id);
    const QString name = known != m_known.end() ? known->second.name : QString::number(id);
    if (known != m_known.end())
        m_known.erase(known);
    if (id != m_followed)
        return;
    // Never another by itself: the operator's next line would go to whoever is there.
    m_followed = 0;
    m_closed = name;
    if (!m_wanted.isEmpty())
        say(tr("%1 closed; following no conversation until %2 opens").arg(name, m_wanted));
    else
        say(tr("%1 closed; following no conversation (verbolt-purple --conversation NAME follows one)").arg(name));
}

void PurpleBridge::onEnded(const QString& why)
{
    if (std::exchange(m_ended, true))
        return;
    emit closing(why);
}

void PurpleBridge::deliver(
    const PurpleClient::Conversation& conversation, const QString& sender, const QString& markup, uint flags)
{
    // Nothing followed yet and nothing asked for: the first conversation with something going on is followed.
    if (!m_chosen && m_wanted.isEmpty())
        followConversation(conversation);
    if (conversation.id != m_followed || (flags & kNotFromPartner))
        return;
    const bool chat = conversation.kind == PurpleClient::Kind::Chat;
    // Some protocols hand the operator's own chat messages back as received ones.
    if (chat && sender.compare(m_purple.chatNick(conversation.id), Qt::CaseInsensitive) == 0)
        return;
    const QString nick = chat ? sender : localPart(sender);
    emit chatTextReceived(nick + u'>' + markupToPlain(markup));
}

std::optional<PurpleClient::Conversation> PurpleBridge::info(int id)
{
    if (const auto known = m_known.find(id); known != m_known.end())
        return known->second;
    std::optional<PurpleClient::Conversation> asked = m_purple.conversation(id);
    if (asked)
        m_known[id] = *asked;
    return asked;
}

std::optional<PurpleClient::Conversation> PurpleBridge::find(const QString& name)
{
    // Asked afresh: a conversation's name can change (a partner's new nick).
    for (const int id : m_purple.conversations()) {
        const std::optional<PurpleClient::Conversation> candidate = m_purple.conversation(id);
        if (!candidate)
            continue;
        m_known[id] = *candidate;
        if (sameName(candidate->name, name))
            return candidate;
    }
    return std::nullopt;
}

void PurpleBridge::followConversation(const PurpleClient::Conversation& conversation)
{
    if (conversation.id == m_followed)
        return;
    m_followed = conversation.id;
    m_chosen = true;
    m_closed.clear();
    say(tr("following %1").arg(describe(conversation)));
}

void PurpleBridge::followFront()
{
    std::vector<int> open = m_purple.conversations();
    std::stable_partition(open.begin(), open.end(), [this](int id) { return m_purple.hasFocus(id); });
    for (const int id : open) {
        if (const std::optional<PurpleClient::Conversation> candidate = info(id))
            return followConversation(*candidate);
    }
    say(tr("no conversation is open; following the first one that becomes active"));
}

void PurpleBridge::say(const QString& text)
{
    m_status = text;
    emit notice(text);
}

QString PurpleBridge::describe(const PurpleClient::Conversation& conversation)
{
    const QString kind = conversation.kind == PurpleClient::Kind::Chat ? tr("chat") : tr("private conversation");
    return tr("%1 (%2, as %3)").arg(conversation.name, kind, m_purple.accountName(conversation.account));
}
