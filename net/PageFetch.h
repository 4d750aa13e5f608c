#pragma once

#include <QString>

#include <functional>

struct ifaddrs;

namespace net {

/// Body of the page at url, fetched with one HTTP GET; "" when nothing could be fetched.
/// The body of an error status counts like any other; a transfer cut short returns what had arrived.
/// Honours the proxy environment (http_proxy, https_proxy, no_proxy), follows redirects, only http and
/// https, gives up on a silent peer within a minute; "" for a body over PageResult::maxBodyBytes. Safe to call
/// from any thread.
QString GetUrl(const QString& url);

/// True when any non-loopback interface is up with an address, or when that cannot be checked.
bool IsOnline();

/// The decision of IsOnline over a getifaddrs list: some interface other than loopback is up, running and
/// holds an IPv4 or IPv6 address.
bool anyInterfaceOnline(const ifaddrs* interfaces);

/// Observes the size of every read GetUrl makes of a body (at most 2048 bytes each, 0 for the last); for
/// diagnostics and tests. An empty function removes it.
void setReadHook(std::function<void(qsizetype bytes)> hook);

} // namespace net
