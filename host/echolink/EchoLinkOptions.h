#pragma once

#include "ChatCodec.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QHostAddress>
#include <QString>

class QCommandLineParser;

/// verbolt-echolink's command line: the options, and what they say once checked.
class EchoLinkOptions
{
public:
    EchoLinkOptions();

    void addTo(QCommandLineParser& parser) const;
    /// Reads and checks the options; false with *why set (a message for the operator) when one is wrong.
    bool read(const QCommandLineParser& parser, QString* why);

    QHostAddress listenAddress;
    quint16 listenPort = 0;
    QString listen;
    QHostAddress bindAddress;
    ChatCodec codec;
    /// The proxy password file given, or the default one.
    QString passwordFile;
    /// Empty when EchoLink is reached directly.
    QString upstreamHost;
    quint16 upstreamPort = 0;
    QByteArray upstreamPassword;

private:
    QCommandLineOption m_listen;
    QCommandLineOption m_bind;
    QCommandLineOption m_passwordFile;
    QCommandLineOption m_encoding;
    QCommandLineOption m_upstream;
};
