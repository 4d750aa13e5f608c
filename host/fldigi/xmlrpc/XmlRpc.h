#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>

/// XML-RPC as fldigi speaks it: calls with string and integer parameters, and replies holding one value.
namespace xmlrpc {

/// The body of a methodCall; params hold QString, int or bool values.
QByteArray encodeCall(const QString& method, const QVariantList& params = {});

/// One reply, read: the value (QString for string, int for i4/int, bool, double, QByteArray for base64, QVariantList
/// for array, QVariantMap for struct, an invalid QVariant for nil or no value), or the fault or the reason the body
/// is not a reply.
struct Reply {
    QVariant value;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

/// Reads a methodResponse body.
Reply decodeReply(const QByteArray& body);

} // namespace xmlrpc
