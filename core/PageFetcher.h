#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

/// What one page fetch brought back.
struct PageResult {
    enum class Failure {
        None, ///< the whole body arrived (whatever its HTTP status)
        Refused, ///< nothing listens at the address
        HostNotFound, ///< the host name does not resolve
        TimedOut, ///< the peer stayed silent too long; seconds says how long
        TooLarge, ///< the body passed maxBodyBytes and was dropped
        Other, ///< anything else; detail says what
    };

    /// Largest body taken; a translation reply is a few kilobytes.
    static constexpr qsizetype maxBodyBytes = 1024 * 1024;

    /// The body as text (UTF-8, or Windows-1252 when it is not valid UTF-8); what arrived before a failure.
    QString body;
    Failure failure = Failure::None;
    int seconds = 0;
    QString detail;
};

/// Fetches pages without blocking the thread that asks.
class PageFetcher
{
public:
    using Done = std::function<void(const PageResult& result)>;

    virtual ~PageFetcher() = default;

    /// Starts one HTTP GET of url. done runs exactly once, later, from the event loop, and never after the fetcher
    /// is destroyed: destroying it abandons the fetches in flight.
    virtual void fetch(const QString& url, Done done) = 0;

    /// Starts one HTTP POST of form, an application/x-www-form-urlencoded body (may be empty), to url; done as
    /// for fetch.
    virtual void post(const QString& url, const QByteArray& form, Done done) = 0;

    /// Sends the fetches started from now on through the Unix socket at path, whatever host their URL names; an
    /// empty path sends them to the URL's host.
    void setUnixSocket(const QString& path) { m_unixSocket = path; }
    const QString& unixSocket() const { return m_unixSocket; }

private:
    QString m_unixSocket;
};
