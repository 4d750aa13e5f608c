#pragma once

#include <QString>

#include <functional>

// Posts one HTML form at a time: HttpOpenPost, any number of HttpAddField, then HttpSendPost.
namespace http {

/// Starts a post of path on host ("name" or "name:port"; port 80 when none is given).
void HttpOpenPost(const QString& host, const QString& path);

/// Appends name=value to the form body, unescaped.
void HttpAddField(const QString& name, const QString& value);

/// Sends the form and returns the reply body as text; "" when nothing came back.
QString HttpSendPost();

/// Runs after every read of a reply; the program lets the window process its pending events there.
void setPumpHook(std::function<void()> hook);

} // namespace http
