#pragma once

#include "FldigiClient.h"

#include <QList>

#include <optional>

/// fldigi as the bridge sees it, with a receive pane the test writes and a transmit pane it reads.
class FakeFldigi : public FldigiClient
{
public:
    std::optional<QString> name() override { return answer(QStringLiteral("fldigi")); }
    std::optional<QString> version() override { return answer(QStringLiteral("4.1.23")); }
    std::optional<QString> stationCallsign() override { return answer(QStringLiteral("DL1ABC")); }
    std::optional<QString> modemName() override { return answer(modem); }
    std::optional<QString> logCall() override { return answer(call); }
    std::optional<TrxState> trxState() override { return answer(state); }
    std::optional<int> rxLength() override { return answer(claimedLength.value_or(int(pane.size()))); }
    std::optional<QByteArray> rx(int start, int length) override
    {
        asked.append(length);
        // Something else at fldigi's address: a pane of the length it claims, and maybe more than was asked for.
        if (claimedLength)
            return answer(QByteArray(length + overreach, 'e'));
        return answer(pane.mid(start, length));
    }
    bool addTx(const QString& text) override { return answer(tx += text).has_value(); }
    bool transmit() override { return answer(state = TrxState::Transmit).has_value(); }

    bool running = true;
    QString modem = QStringLiteral("BPSK31");
    QString call;
    TrxState state = TrxState::Receive;
    QByteArray pane;
    QString tx;
    /// The pane length given instead of the pane's own; the pane then reads as that many 'e's.
    std::optional<int> claimedLength;
    /// Bytes a read then gives beyond those asked for.
    int overreach = 0;
    /// The length every read asked for.
    QList<int> asked;

private:
    template <typename T>
    std::optional<T> answer(const T& value)
    {
        if (running)
            return value;
        setFailure(Failure::Unreachable, QStringLiteral("connection refused"));
        return std::nullopt;
    }
};
