#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <optional>

// Clears every proxy variable libcurl reads for the life of the object, so a proxy set on the test machine
// cannot steer loopback requests away; restores them afterwards.
class ProxyEnvironment
{
public:
    ProxyEnvironment()
    {
        for (const char* name : kNames) {
            m_saved.append({name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
            qunsetenv(name);
        }
    }
    ~ProxyEnvironment()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }
    ProxyEnvironment(const ProxyEnvironment&) = delete;
    ProxyEnvironment& operator=(const ProxyEnvironment&) = delete;

private:
    static constexpr const char* kNames[]
        = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"};
    QList<QPair<const char*, std::optional<QByteArray>>> m_saved;
};
