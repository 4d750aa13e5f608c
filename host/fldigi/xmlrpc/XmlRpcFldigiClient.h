#pragma once

#include "FldigiClient.h"

#include <QVariant>

#include <chrono>
#include <memory>

/// fldigi's XML-RPC server over HTTP, one call at a time on one kept-alive connection. Whatever answers there is held
/// to fldigi's sizes: a reply larger than the call can need, or a receive pane read longer than asked for, is refused.
class XmlRpcFldigiClient : public FldigiClient
{
public:
    /// host:port of fldigi's XML-RPC server (its --xmlrpc-server-address and --xmlrpc-server-port).
    XmlRpcFldigiClient(const QString& host, quint16 port, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    ~XmlRpcFldigiClient() override;

    std::optional<QString> name() override;
    std::optional<QString> version() override;
    std::optional<QString> stationCallsign() override;
    std::optional<QString> modemName() override;
    std::optional<QString> logCall() override;
    std::optional<TrxState> trxState() override;
    std::optional<int> rxLength() override;
    std::optional<QByteArray> rx(int start, int length) override;
    bool addTx(const QString& text) override;
    bool transmit() override;

    /// Calls any method; nullopt with failure() set when no good answer came.
    std::optional<QVariant> call(const QString& method, const QVariantList& params = {});

private:
    std::optional<QVariant> call(const QString& method, const QVariantList& params, qsizetype maxReply);
    std::optional<QString> text(const QString& method);

    struct Connection;
    std::unique_ptr<Connection> m_connection;
    QString m_address;
    std::optional<QString> m_stationCallsign;
};
