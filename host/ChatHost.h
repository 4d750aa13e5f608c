#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

/// The chat host program, as the window sees it.
class ChatHost : public QObject
{
    Q_OBJECT
public:
    using CallsignDone = std::function<void(const std::optional<QString>& callsign)>;
    using SendDone = std::function<void(bool delivered)>;

    /// Longest text the chat takes in one SendChatText, in UTF-16 units.
    static constexpr qsizetype maxChatText = 32000;

    using QObject::QObject;
    ~ChatHost() override = default;

    /// The local station's callsign, read afresh from the host and waited for; nullopt when the host did not answer.
    virtual std::optional<QString> callsign() = 0;

    /// Reads the callsign afresh without waiting. done runs later from the event loop, with nullopt when the host did
    /// not answer (errorString() says why), and never after the ChatHost is destroyed.
    virtual void requestCallsign(CallsignDone done) = 0;

    /// Sends text into the host's chat without waiting. done runs later from the event loop with false when the host
    /// did not take it (errorString() says why), and never after the ChatHost is destroyed.
    virtual void sendChatText(const QString& text, SendDone done) = 0;

    /// Calls into a busy host wait up to 15 minutes and a busy host is not an error; set before each chat event.
    virtual void applyCallSettings() = 0;

    /// Why the last failed call failed.
    QString errorString() const { return m_errorString; }

    /// What the last text delivered became in the chat when the host had to change it (to what a radio mode
    /// carries, say) and said so; nullopt when it went as given. Read it in sendChatText's done.
    std::optional<QString> changedText() const { return m_changedText; }

signals:
    /// Chat text arrived; lines are separated by CR.
    void chatTextReceived(const QString& sText);
    /// The host is closing, or has gone away, or the bus to it is lost.
    void closing();

protected:
    void setErrorString(const QString& text) { m_errorString = text; }
    void setChangedText(const std::optional<QString>& text) { m_changedText = text; }

private:
    QString m_errorString;
    std::optional<QString> m_changedText;
};
