#pragma once

#include "ChatHostBus.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <string>
#include <vector>

/// What a window on the session bus hears from the chat host: the texts it raised, what it said went out as
/// (ChatTextSent), and its Closing signals.
class HostSignals : public QObject
{
    Q_OBJECT
public:
    HostSignals()
    {
        const QString service = ChatHostBus::serviceName, path = ChatHostBus::objectPath;
        const QString interface = ChatHostBus::chatHostInterface;
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.connect(service, path, interface, QStringLiteral("ChatTextReceived"), this, SLOT(onText(QString)));
        bus.connect(service, path, interface, QStringLiteral("ChatTextSent"), this, SLOT(onSent(QString)));
        bus.connect(service, path, interface, QStringLiteral("Closing"), this, SLOT(onClosing()));
    }

    std::vector<QString> texts;
    std::vector<QString> sent;
    int closings = 0;

    /// The texts raised, a line each, for a failure message.
    std::string transcript() const { return QStringList(texts.begin(), texts.end()).join(u'\n').toStdString(); }

private slots:
    void onText(const QString& text) { texts.push_back(text); }
    void onSent(const QString& text) { sent.push_back(text); }
    void onClosing() { ++closings; }
};
