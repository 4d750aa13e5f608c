#pragma once

#include "ChatHost.h"

#include <QString>
#include <QTime>

#include <functional>
#include <memory>

/// What the window needs from the world outside it. The program wires the real network, report and chat host;
/// tests wire fakes. Empty functions fall back to doing nothing (or, for now, the local clock).
struct WindowServices {
    /// Attaches to the chat host; nullptr with *why set when it cannot.
    std::function<std::unique_ptr<ChatHost>(QString* why)> createHost;
    /// Fetches a page by URL; the body as text, "" when nothing could be fetched.
    std::function<QString(const QString& url)> getUrl;
    /// True when the machine has a connection to the internet.
    std::function<bool()> isOnline;
    /// Posts the start-up usage report to the statistics script on statsHost.
    std::function<void(
        const QString& statsHost, const QString& callsign, const QString& program, const QString& version)>
        sendUsageReport;
    /// The local time of day, for time stamps.
    std::function<QTime()> now;
    /// Ends the program at once with status 0; by default QCoreApplication::exit(0).
    std::function<void()> quit;
};
