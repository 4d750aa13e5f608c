#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

/// Tells when everything a bus connection sent before pass() has reached the session bus connection:
/// the bus keeps one sender's messages in order, and so does the receiving connection.
class SignalBarrier : public QObject
{
    Q_OBJECT
public:
    explicit SignalBarrier(const QDBusConnection& sender)
        : m_sender(sender)
    {
        QDBusConnection::sessionBus().connect(
            sender.baseService(), path(), interface(), QStringLiteral("Barrier"), this, SLOT(hit()));
    }

    void pass() { m_sender.send(QDBusMessage::createSignal(path(), interface(), QStringLiteral("Barrier"))); }
    bool passed() const { return m_hits > 0; }

private slots:
    void hit() { ++m_hits; }

private:
    static QString path() { return QStringLiteral("/org/verbolt/Test"); }
    static QString interface() { return QStringLiteral("org.verbolt.Test"); }

    QDBusConnection m_sender;
    int m_hits = 0;
};
