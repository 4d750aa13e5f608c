#pragma once

#include "ChatHost.h"
#include "EngineService.h"
#include "PageFetcher.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <chrono>
#include <functional>
#include <memory>

/// What the window needs from the world outside it. The program wires the real network, report and chat host;
/// tests wire fakes. Empty functions fall back to doing nothing (or, for now, the local clock); without a page
/// fetcher every translation fails.
struct WindowServices {
    /// Attaches to the chat host; nullptr with *why set when it cannot.
    std::function<std::unique_ptr<ChatHost>(QString* why)> createHost;
    /// Fetches the translation service's pages without blocking the window.
    std::unique_ptr<PageFetcher> pageFetcher;
    /// True when the machine has a connection to the internet.
    std::function<bool()> isOnline;
    /// Posts the start-up usage report to the statistics script on statsHost; returns at once.
    std::function<void(
        const QString& statsHost, const QString& callsign, const QString& program, const QString& version)>
        sendUsageReport;
    /// The local time of day, for time stamps.
    std::function<QTime()> now;
    /// The local date, which names the day's transcript.
    std::function<QDate()> today;
    /// A clock that never goes back, which spaces the answers to version probes; by default the steady clock.
    std::function<std::chrono::milliseconds()> steadyClock;
    /// The service's engine settings for the engines dialog; by default through pageFetcher.
    std::function<std::unique_ptr<EngineService>()> engineService;
    /// Ends the program at once with status 0; by default QCoreApplication::exit(0).
    std::function<void()> quit;
};
