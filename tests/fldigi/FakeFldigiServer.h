#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <thread>

/// Something answering XML-RPC over HTTP on 127.0.0.1, as fldigi's server does, from a thread of its own: the
/// client under test may block its own thread on a call. Connections are kept alive; every call is recorded.
class FakeFldigiServer
{
public:
    /// The methodResponse body for a call, given its method and its parameters as text.
    using Answer = std::function<QByteArray(const QString& method, const QStringList& params)>;

    explicit FakeFldigiServer(Answer answer);
    ~FakeFldigiServer();
    FakeFldigiServer(const FakeFldigiServer&) = delete;
    FakeFldigiServer& operator=(const FakeFldigiServer&) = delete;

    quint16 port() const { return m_port; }
    /// "method(param,param)" for every call so far.
    QStringList calls() const;

    /// A methodResponse holding one value, given as its XML ("<i4>5</i4>", "<string>x</string>").
    static QByteArray reply(const QByteArray& value);

private:
    void serve();
    void converse(int connection);

    Answer m_answer;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    quint16 m_port = 0;
    mutable std::mutex m_mutex;
    QStringList m_calls;
    std::thread m_thread;
};
