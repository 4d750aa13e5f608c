#pragma once

#include "ChatHost.h"

#include <QStringList>

#include <functional>
#include <optional>

// A chat host in memory: records what the window sends and lets a test raise the host's two events.
class FakeChatHost : public ChatHost
{
    Q_OBJECT
public:
    std::optional<QString> station = QStringLiteral("EA1XYZ");
    bool takesText = true;
    QStringList sent;
    int callSettingsApplied = 0;
    int callsignReads = 0;
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

    bool sendChatText(const QString& text) override
    {
        log(QStringLiteral("send"));
        if (!takesText) {
            setErrorString(QStringLiteral("host busy"));
            return false;
        }
        sent.append(text);
        return true;
    }

    void applyCallSettings() override
    {
        ++callSettingsApplied;
        log(QStringLiteral("applyCallSettings"));
    }

    void receive(const QString& text) { emit chatTextReceived(text); }
    void close() { emit closing(); }

private:
    void log(const QString& call)
    {
        if (onCall)
            onCall(call);
    }
};
