// A flood of requests whose clients hang up right after sending, against the real service: none of their texts
// reaches the engine, and a real request after each wave is answered. (bench/flood.py times the answer.)
#include "RealService.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace servicetest;

namespace {

// Connects, sends the request, hangs up.
bool sendAndHangUp(quint16 port, const QByteArray& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool sent = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size();
    ::close(fd);
    return sent;
}

QByteArray translate(const QByteArray& text)
{
    return "GET /ajax/services/language/translate?v=1.0&q=" + text
        + "&langpair=en|de HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

TEST(Flood, AbandonedTextsNeverReachTheEngineAndARealOneIsAnswered)
{
    RealService service;
    const quint16 port = freeLoopbackPort();
    ASSERT_TRUE(service.start({u"--listen"_qs, u"127.0.0.1:%1"_qs.arg(port)})) << service.child().describe();
    const qint64 pid = service.child().process().processId();

    // Four waves of 500: each sent while the service is stopped, so that every client has hung up before the
    // service reads its request, as it would under a real flood's load.
    constexpr int kWaves = 4;
    constexpr int kPerWave = 500;
    for (int wave = 0; wave < kWaves; ++wave) {
        ASSERT_EQ(::kill(pid_t(pid), SIGSTOP), 0);
        int sent = 0;
        for (int i = 0; i < kPerWave; ++i)
            sent += sendAndHangUp(port, translate("abandoned" + QByteArray::number(wave * kPerWave + i))) ? 1 : 0;
        ASSERT_EQ(::kill(pid_t(pid), SIGCONT), 0);
        EXPECT_EQ(sent, kPerWave);

        RawExchange real(port, translate("real" + QByteArray::number(wave)));
        ASSERT_TRUE(real.waitClosed(60000)) << service.child().describe();
        EXPECT_EQ(real.status(), 200) << real.received();
        EXPECT_TRUE(real.body().contains("real" + QByteArray::number(wave))) << real.body();
    }

    qsizetype abandoned = 0;
    qsizetype real = 0;
    for (const FakeHttpServer::Request& request : service.fake().requests) {
        const QString text = request.json().toObject().value(u"q"_qs).toString();
        abandoned += text.startsWith(u"abandoned"_qs) ? 1 : 0;
        real += text.startsWith(u"real"_qs) ? 1 : 0;
    }
    EXPECT_EQ(abandoned, 0);
    EXPECT_EQ(real, kWaves);
    EXPECT_TRUE(service.child().err().contains("whose client had gone, before an engine was asked"))
        << service.child().describe();
}

} // namespace
