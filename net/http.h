#pragma once

#include "ServiceAddress.h"

#include <QString>

#include <functional>

// Posts one HTML form at a time: HttpOpenPost, any number of HttpAddField, then HttpSendPost.
//
// The request is a direct (never proxied) HTTP/1.0 POST with the agent "Verbolt", the header
// "Content-Type: application/x-www-form-urlencoded" and the body byte for byte as built; no cookies are sent
// or stored. Use from the window's thread only.
//
// While HttpSendPost runs the pump hook, the window's handlers may run. A post is then in progress, so any
// HttpOpenPost, HttpAddField or HttpSendPost they call is refused: the first two do nothing and the last
// returns "" at once. The post in progress goes on untouched. net::GetUrl is safe to call from there.
namespace http {

/// Starts a post of path on host ("name" or "name:port"; port 80 when none is given) and empties the body.
void HttpOpenPost(const QString& host, const QString& path);

/// Starts a post of path on the service at address (a Unix socket, or TCP) and empties the body.
void HttpOpenPost(const net::ServiceAddress& address, const QString& path);

/// Appends name=value to the form body, unescaped, with "&" before it unless the body is empty.
void HttpAddField(const QString& name, const QString& value);

/// Sends the form and returns the reply body as text; "" when nothing came back. A reply cut short returns
/// what had arrived. Gives up on a silent peer within a minute.
QString HttpSendPost();

/// Sends the form as HttpSendPost does, byte for byte, but returns at once: the transfer runs on the calling
/// thread's event loop, and done (when given) receives the reply body when it has ended. While it runs, the module
/// refuses other posts. A post still running when the application object is destroyed is dropped.
void HttpSendPostInBackground(std::function<void(const QString& reply)> done = {});

/// True while a post is being sent (and other posts are refused).
bool isSending();

/// Runs after every read of a reply; the program lets the window process its pending events there.
void setPumpHook(std::function<void()> hook);

/// Observes the size of every read of a reply (at most 1024 bytes each, 0 for the last), just before the
/// pump hook runs (a post in the background reports them when it ends); for diagnostics and tests. An empty function
/// removes it.
void setReadHook(std::function<void(qsizetype bytes)> hook);

} // namespace http
