#pragma once

#include "QtelLink.h"

#include <QHash>
#include <QSet>

// Qtel's side for the bridge's tests: what the bridge sends each client is kept, drops are noted.
class FakeQtelLink : public QtelLink
{
    Q_OBJECT
public:
    void send(int client, const QByteArray& bytes) override { sent[client] += bytes; }
    void drop(int client) override { dropped.insert(client); }

    void arrive(int client) { emit arrived(client); }
    void receive(int client, const QByteArray& bytes) { emit received(client, bytes); }
    void leave(int client) { emit gone(client); }

    QHash<int, QByteArray> sent;
    QSet<int> dropped;
};
