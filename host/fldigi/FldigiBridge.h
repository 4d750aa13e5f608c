#pragma once

#include "EchoFilter.h"
#include "FldigiClient.h"
#include "LineAssembler.h"

#include <QObject>
#include <QString>
#include <QStringDecoder>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>

/// Turns a running fldigi into chat host texts: what the partner's station sends, as fldigi decodes it into its
/// receive pane, comes out line by line as "CALL>text"; texts to send go into fldigi's transmit pane, fitted to
/// what the modem carries, and fldigi transmits them and returns to receive.
class FldigiBridge : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::milliseconds()>;

    struct Options {
        /// The operator's callsign to give out; empty for fldigi's own.
        QString callsign;
        /// A line is complete after this long without a new character.
        std::chrono::milliseconds pause = std::chrono::seconds(4);
        /// fldigi has quit once nothing has listened at its address for this long.
        std::chrono::milliseconds goneAfter = std::chrono::seconds(3);
        /// fldigi is given up on once it has not answered for this long.
        std::chrono::milliseconds silentAfter = std::chrono::seconds(30);
        /// Monotonic time; a steady clock when empty.
        Clock clock;
    };

    FldigiBridge(FldigiClient& fldigi, Options options, QObject* parent = nullptr);

    /// Checks that fldigi answers and takes the receive pane from its current end; false with *why when it cannot.
    bool start(QString* why);
    /// Reads what arrived in the receive pane (a bounded piece of it each time); raises lines; notices fldigi gone.
    void poll();

    /// The operator's callsign: the one given, else fldigi's.
    QString callsign();
    /// Sends text (lines separated by CR) and returns to receive at its end; *sentAs is the text as it goes on the
    /// air (lines separated by CR). A text sent while the one before is still on the air goes out after it. False
    /// with *why set when it cannot go.
    bool sendChatText(const QString& text, QString* sentAs, QString* why);

    /// What start() found: "fldigi 4.1.23".
    QString program() const { return m_program; }

signals:
    /// A line the partner sent, as "CALL>text".
    void chatTextReceived(const QString& text);
    /// fldigi has gone; nothing more will come.
    void closing(const QString& why);

private:
    // Where this bridge's own transmission is.
    enum class Transmission { None, Asked, OnAir };

    bool transmit(const QString& text, QString* why);
    void followTransmission(FldigiClient::TrxState state);
    void raise(const QString& line);
    void failed(const FldigiClient& client);
    void failed(FldigiClient::Failure failure, const QString& why);
    std::chrono::milliseconds now() const { return m_clock(); }

    FldigiClient& m_fldigi;
    Options m_options;
    Clock m_clock;
    LineAssembler m_lines;
    EchoFilter m_echo;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_program;
    QString m_lastDeCall;
    int m_position = 0;
    Transmission m_transmission = Transmission::None;
    std::chrono::milliseconds m_askedAt{0};
    // Texts waiting for the one on the air to end: fldigi's return to receive clears its transmit pane.
    std::deque<QString> m_waiting;
    std::optional<std::chrono::milliseconds> m_failingSince;
    bool m_ended = false;
};
