#include "XmlRpc.h"

#include <QVariantMap>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace xmlrpc {

namespace {

using namespace Qt::StringLiterals;

// Nesting a reply may have; fldigi's are at most an array of structs deep.
constexpr int kMaxDepth = 16;

void writeValue(QXmlStreamWriter& xml, const QVariant& value)
{
    xml.writeStartElement(u"value"_s);
    switch (value.typeId()) {
    case QMetaType::Int: xml.writeTextElement(u"i4"_s, QString::number(value.toInt())); break;
    case QMetaType::Bool: xml.writeTextElement(u"boolean"_s, value.toBool() ? u"1"_s : u"0"_s); break;
    default: xml.writeTextElement(u"string"_s, value.toString()); break;
    }
    xml.writeEndElement();
}

class ReplyReader
{
public:
    explicit ReplyReader(const QByteArray& body)
        : m_xml(body)
    { }

    Reply read()
    {
        if (!next() || m_xml.name() != "methodResponse"_L1)
            return fail(u"the reply is not an XML-RPC response"_s);
        if (!next())
            return fail(u"the reply is empty"_s);
        if (m_xml.name() == "fault"_L1) {
            if (!next() || m_xml.name() != "value"_L1)
                return fail(u"a fault without a value"_s);
            const QVariant fault = value(0);
            if (!m_error.isEmpty())
                return fail(m_error);
            const QVariantMap details = fault.toMap();
            const QString text = details.value(u"faultString"_s).toString();
            return {QVariant(), text.isEmpty() ? u"fault %1"_s.arg(details.value(u"faultCode"_s).toInt()) : text};
        }
        if (m_xml.name() != "params"_L1)
            return fail(u"the reply has neither params nor a fault"_s);
        // fldigi answers methods without a result with an empty params, or a nil value.
        if (!next() || m_xml.name() != "param"_L1)
            return {};
        if (!next() || m_xml.name() != "value"_L1)
            return fail(u"a param without a value"_s);
        const QVariant result = value(0);
        if (!m_error.isEmpty())
            return fail(m_error);
        return {result, {}};
    }

private:
    // Moves to the next start element; false at the end or on an error.
    bool next()
    {
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::StartElement)
                return true;
            if (token == QXmlStreamReader::EndElement && m_xml.name() == "params"_L1)
                return false;
        }
        return false;
    }

    Reply fail(const QString& why)
    {
        if (m_xml.hasError())
            return {QVariant(), u"the reply is not well-formed XML: %1"_s.arg(m_xml.errorString())};
        return {QVariant(), why};
    }

    // At <value>: reads it through its </value>.
    QVariant value(int depth)
    {
        if (depth > kMaxDepth) {
            m_error = u"the reply is nested too deeply"_s;
            return {};
        }
        QString text;
        QVariant result;
        bool typed = false;
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::Characters) {
                text += m_xml.text();
            } else if (token == QXmlStreamReader::EndElement) {
                // A value without a type element is a string.
                return typed ? result : QVariant(text);
            } else if (token == QXmlStreamReader::StartElement) {
                typed = true;
                result = typedValue(depth);
                if (!m_error.isEmpty())
                    return {};
            }
        }
        m_error = m_xml.hasError() ? u"the reply is not well-formed XML: %1"_s.arg(m_xml.errorString())
                                   : u"the reply ends inside a value"_s;
        return {};
    }

    // At the type element inside a value: reads it through its end.
    QVariant typedValue(int depth)
    {
        const QString type = m_xml.name().toString();
        if (type == "array"_L1)
            return array(depth);
        if (type == "struct"_L1)
            return members(depth);
        if (type == "nil"_L1) {
            m_xml.skipCurrentElement();
            return {};
        }
        const QString text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError()) {
            m_error = u"the reply is not well-formed XML: %1"_s.arg(m_xml.errorString());
            return {};
        }
        bool ok = true;
        QVariant result;
        if (type == "string"_L1)
            result = text;
        else if (type == "i4"_L1 || type == "int"_L1)
            result = text.trimmed().toInt(&ok);
        else if (type == "boolean"_L1)
            result = text.trimmed() == "1"_L1;
        else if (type == "double"_L1)
            result = text.trimmed().toDouble(&ok);
        else if (type == "base64"_L1) {
            // The base64 may be broken into lines.
            QByteArray encoded = text.toLatin1();
            encoded.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
            const auto decoded = QByteArray::fromBase64Encoding(
                encoded, QByteArray::AbortOnBase64DecodingErrors | QByteArray::Base64Encoding);
            ok = bool(decoded);
            result = decoded.decoded;
        } else
            result = text;
        if (!ok)
            m_error = u"the reply holds a bad %1: %2"_s.arg(type, text.left(40));
        return result;
    }

    QVariant array(int depth)
    {
        QVariantList items;
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::EndElement && m_xml.name() == "array"_L1)
                return items;
            if (token == QXmlStreamReader::StartElement && m_xml.name() == "value"_L1) {
                items.push_back(value(depth + 1));
                if (!m_error.isEmpty())
                    return {};
            }
        }
        m_error = u"the reply ends inside an array"_s;
        return {};
    }

    QVariant members(int depth)
    {
        QVariantMap map;
        QString name;
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::EndElement && m_xml.name() == "struct"_L1)
                return map;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (m_xml.name() == "name"_L1) {
                name = m_xml.readElementText();
            } else if (m_xml.name() == "value"_L1) {
                map.insert(name, value(depth + 1));
                if (!m_error.isEmpty())
                    return {};
            }
        }
        m_error = u"the reply ends inside a struct"_s;
        return {};
    }

    QXmlStreamReader m_xml;
    QString m_error;
};

} // namespace

QByteArray encodeCall(const QString& method, const QVariantList& params)
{
    QByteArray body;
    QXmlStreamWriter xml(&body);
    xml.writeStartDocument();
    xml.writeStartElement(u"methodCall"_s);
    xml.writeTextElement(u"methodName"_s, method);
    xml.writeStartElement(u"params"_s);
    for (const QVariant& param : params) {
        xml.writeStartElement(u"param"_s);
        writeValue(xml, param);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return body;
}

Reply decodeReply(const QByteArray& body)
{
    return ReplyReader(body).read();
}

} // namespace xmlrpc
