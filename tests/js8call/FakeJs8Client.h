#pragma once

#include "Js8Client.h"

#include <vector>

/// JS8Call in memory: messages the test makes it decode, and what the bridge gives it to transmit.
class FakeJs8Client : public Js8Client
{
public:
    void decode(const QString& from, const QString& to, const QString& cmd, const QString& text)
    {
        emit directedReceived({from, to, cmd, text});
    }
    void answerCallsign(const QString& call) { emit callsignReceived(call); }
    void end(const QString& why) { emit ended(why); }

    void requestCallsign() override { ++callsignRequests; }
    bool sendMessage(const QString& text, QString* why) override
    {
        if (!refusal.isEmpty()) {
            *why = refusal;
            return false;
        }
        sent.push_back(text);
        return true;
    }

    int callsignRequests = 0;
    QString refusal;
    std::vector<QString> sent;
};
