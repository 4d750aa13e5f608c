#pragma once

#include <QObject>
#include <QString>

#include <optional>

/// The chat host program, as the window sees it.
class ChatHost : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~ChatHost() override = default;

    /// The local station's callsign, read afresh from the host; nullopt when the host did not answer.
    virtual std::optional<QString> callsign() = 0;

    /// Sends text into the host's chat; false when the host did not take it.
    virtual bool sendChatText(const QString& text) = 0;

    /// Calls into a busy host wait up to 15 minutes and a busy host is not an error; set before each chat event.
    virtual void applyCallSettings() = 0;

    /// Why the last failed call failed.
    QString errorString() const { return m_errorString; }

signals:
    /// Chat text arrived; lines are separated by CR.
    void chatTextReceived(const QString& sText);
    /// The host is closing, or has gone away.
    void closing();

protected:
    void setErrorString(const QString& text) { m_errorString = text; }

private:
    QString m_errorString;
};
