#pragma once

#include "ChatHost.h"

#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

// A chat host in memory: records what the window sends and lets a test raise the host's two events. It answers
// later, from the event loop, as a host on the bus does; with holdSends it takes no text until releaseSends(), as a
// frozen host.
class FakeChatHost : public ChatHost
{
    Q_OBJECT
public:
    std::optional<QString> station = QStringLiteral("EA1XYZ");
    bool takesText = true;
    bool holdSends = false;
    QStringList sent;
    int callSettingsApplied = 0;
    int callsignReads = 0;
    // What the host says about itself.
    QString said;
    // Runs on every call, named; lets a test see the order of calls.
    std::function<void(const QString&)> onCall;

    std::optional<QString> callsign() override
    {
        ++callsignReads;
        log(QStringLiteral("callsign"));
        if (!station)
            setErrorString(QStringLiteral("the host does not answer"));
        return station;
    }

    void requestCallsign(CallsignDone done) override
    {
        const std::optional<QString> call = callsign();
        QTimer::singleShot(0, this, [call, done] { done(call); });
    }

    void sendChatText(const QString& text, SendDone done) override
    {
        log(QStringLiteral("send"));
        m_held.append([this, text, done] {
            if (!takesText)
                setErrorString(QStringLiteral("host busy"));
            else
                sent.append(text);
            done(takesText);
        });
        if (!holdSends)
            QTimer::singleShot(0, this, [this] { releaseSends(); });
    }

    void requestStatus(StatusDone done) override
    {
        QTimer::singleShot(0, this, [this, done] { done(said); });
    }

    void say(const QString& text)
    {
        said = text;
        emit statusChanged(text);
    }

    void applyCallSettings() override
    {
        ++callSettingsApplied;
        log(QStringLiteral("applyCallSettings"));
    }

    qsizetype heldSends() const { return m_held.size(); }
    void releaseSends()
    {
        const auto held = std::exchange(m_held, {});
        for (const auto& send : held)
            send();
    }

    void receive(const QString& text) { emit chatTextReceived(text); }
    void close() { emit closing(); }

private:
    void log(const QString& call)
    {
        if (onCall)
            onCall(call);
    }

    QList<std::function<void()>> m_held;
};
