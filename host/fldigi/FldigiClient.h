#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// A running fldigi, as the bridge sees it through its XML-RPC interface. Every call waits for fldigi's answer;
/// nullopt or false means it did not come, and failure() says why.
class FldigiClient
{
public:
    /// Why the last call failed.
    enum class Failure {
        None,
        /// Nothing listens at the address: fldigi is not running, or its XML-RPC server is off.
        Unreachable,
        /// The address took the call but gave no usable answer in time.
        NoAnswer,
        /// fldigi answered with a fault.
        Refused,
    };

    enum class TrxState { Receive, Transmit, Other };

    virtual ~FldigiClient() = default;

    /// The program's name ("fldigi") and version ("4.1.23").
    virtual std::optional<QString> name() = 0;
    virtual std::optional<QString> version() = 0;
    /// The station's callsign as fldigi's settings hold it (Configure > Operator); empty when not set.
    virtual std::optional<QString> stationCallsign() = 0;
    /// The name of the modem in use ("BPSK31", "RTTY", "CW").
    virtual std::optional<QString> modemName() = 0;
    /// The log's Call field: the station worked.
    virtual std::optional<QString> logCall() = 0;
    /// Receive once the modem receives and the T/R button is up again: only then does transmit() start anew.
    virtual std::optional<TrxState> trxState() = 0;

    /// Bytes in the receive pane (UTF-8), and a range of them; the pane also shows what was transmitted.
    virtual std::optional<int> rxLength() = 0;
    virtual std::optional<QByteArray> rx(int start, int length) = 0;

    /// Appends text to the transmit pane; fldigi sends it while transmitting.
    virtual bool addTx(const QString& text) = 0;
    /// Starts transmitting.
    virtual bool transmit() = 0;

    Failure failure() const { return m_failure; }
    QString errorString() const { return m_errorString; }

protected:
    void setFailure(Failure failure, const QString& why = {})
    {
        m_failure = failure;
        m_errorString = why;
    }

private:
    Failure m_failure = Failure::None;
    QString m_errorString;
};
