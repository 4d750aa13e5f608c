// echolink-peer: the real libecholib for the tests, driven line by line on standard input and saying what happens on
// standard output. Two roles, one per process (libecholib keeps one dispatcher per process):
//
//   echolink-peer station ADDR CALL          an EchoLink station on ADDR's UDP 5198/5199 that answers every call
//   echolink-peer client HOST PORT CALL PW   what Qtel is: libecholib's own EchoLink::Proxy client, then QSOs
//
// Commands: "connect IP" (client), "directory IP" (client: open the directory through the proxy), "chat TEXT",
// "info TEXT". It ends at end of input, so it never outlives the test that started it.

#include <AsyncCppApplication.h>
#include <AsyncFdWatch.h>
#include <AsyncIpAddress.h>
#include <EchoLinkDispatcher.h>
#include <EchoLinkProxy.h>
#include <EchoLinkQso.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string g_call;
std::vector<std::unique_ptr<EchoLink::Qso>> g_qsos;
EchoLink::Proxy* g_proxy = nullptr;

void say(const std::string& line)
{
    std::cout << line << std::endl;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

void watch(EchoLink::Qso& qso)
{
    qso.chatMsgReceived.connect([](const std::string& msg) { say("chat " + trimmed(msg)); });
    qso.infoMsgReceived.connect([](const std::string& msg) { say("info " + trimmed(msg)); });
    qso.stateChange.connect([](EchoLink::Qso::State state) {
        switch (state) {
        case EchoLink::Qso::STATE_CONNECTED: say("state connected"); break;
        case EchoLink::Qso::STATE_DISCONNECTED: say("state disconnected"); break;
        default: break;
        }
    });
}

EchoLink::Qso& newQso(const Async::IpAddress& ip)
{
    g_qsos.push_back(std::make_unique<EchoLink::Qso>(ip, g_call, "Peer", "a test station"));
    watch(*g_qsos.back());
    return *g_qsos.back();
}

void command(const std::string& line)
{
    const std::string verb = line.substr(0, line.find(' '));
    const std::string rest = line.size() > verb.size() ? line.substr(verb.size() + 1) : std::string();
    if (verb == "connect") {
        newQso(Async::IpAddress(rest)).connect();
    } else if (verb == "directory" && g_proxy) {
        g_proxy->tcpOpen(Async::IpAddress(rest));
    } else if (verb == "chat") {
        for (auto& qso : g_qsos)
            qso->sendChatData(rest);
    } else if (verb == "info") {
        for (auto& qso : g_qsos)
            qso->sendInfoData(rest);
    } else if (verb == "quit") {
        Async::Application::app().quit();
    }
}

} // namespace

int main(int argc, char** argv)
{
    Async::CppApplication app;
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::unique_ptr<EchoLink::Proxy> proxy;
    if (args.size() == 3 && args[0] == "station") {
        g_call = args[2];
        EchoLink::Dispatcher::setBindAddr(Async::IpAddress(args[1]));
        if (EchoLink::Dispatcher::instance() == nullptr) {
            say("error cannot bind the EchoLink ports");
            return 1;
        }
        EchoLink::Dispatcher::instance()->incomingConnection.connect(
            [](const Async::IpAddress& ip, const std::string& call, const std::string&, const std::string&) {
                for (auto& qso : g_qsos) {
                    if (qso->remoteIp() == ip)
                        return;
                }
                say("incoming " + call);
                newQso(ip).accept();
            });
    } else if (args.size() == 5 && args[0] == "client") {
        g_call = args[3];
        proxy = std::make_unique<EchoLink::Proxy>(args[1], uint16_t(std::stoi(args[2])), args[3], args[4]);
        g_proxy = proxy.get();
        proxy->proxyReady.connect([](bool ready) { say(ready ? "proxy ready" : "proxy lost"); });
        proxy->tcpStatusReceived.connect([](uint32_t status) { say("tcp status " + std::to_string(status)); });
        proxy->tcpConnected.connect([] { say("tcp connected"); });
        proxy->tcpDisconnected.connect([] { say("tcp disconnected"); });
        proxy->connect();
    } else {
        std::cerr << "usage: echolink-peer station ADDR CALL | client HOST PORT CALL PASSWORD\n";
        return 2;
    }

    std::string pending;
    Async::FdWatch input(STDIN_FILENO, Async::FdWatch::FD_WATCH_RD);
    input.activity.connect([&](Async::FdWatch*) {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            Async::Application::app().quit();
            return;
        }
        pending.append(buffer, size_t(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            command(line);
        }
    });
    say("started");
    app.exec();
    g_qsos.clear();
    return 0;
}
