// The window's fetcher keeps its connection to the service: requests in turn go over one connection while the
// server keeps it open, and over a new one once the server has closed it.
#include "CurlPageFetcher.h"
#include "ProxyEnvironment.h"
#include "QtPrinters.h"
#include "WaitUntil.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Answers every request with a small body and keeps the connection open, unless told to close after each reply.
class KeepAliveServer
{
public:
    explicit KeepAliveServer(bool closeAfterReply)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this, closeAfterReply] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++connections;
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, buffer, closeAfterReply] {
                    *buffer += socket->readAll();
                    while (buffer->contains("\r\n\r\n")) {
                        buffer->remove(0, buffer->indexOf("\r\n\r\n") + 4);
                        socket->write(closeAfterReply
                                ? "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"
                                : "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
                        if (closeAfterReply)
                            socket->disconnectFromHost();
                    }
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString url() const
    {
        return QStringLiteral("http://127.0.0.1:%1/ajax/services/language/translate?q=a").arg(m_server.serverPort());
    }

    int connections = 0;

private:
    QTcpServer m_server;
};

} // namespace

TEST(KeptConnection, RequestsInTurnShareTheConnectionTheServerKeeps)
{
    const ProxyEnvironment environment;
    for (const bool closing : {false, true}) {
        KeepAliveServer server(closing);
        net::CurlPageFetcher fetcher;
        for (int i = 0; i < 3; ++i) {
            std::optional<PageResult> page;
            fetcher.fetch(server.url(), [&](const PageResult& result) { page = result; });
            ASSERT_TRUE(waitUntil([&] { return page.has_value(); }));
            EXPECT_EQ(page->failure, PageResult::Failure::None) << page->detail;
            EXPECT_EQ(page->body, QStringLiteral("ok"));
        }
        EXPECT_EQ(server.connections, closing ? 3 : 1);
    }
}
