#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <memory>
#include <vector>

/// Turns Unix signals into a Qt signal on the event loop, through an eventfd the handler counts up: SIGINT, SIGTERM
/// and SIGHUP to stop a program, or the ones it is told (SIGHUP alone to read settings again). Instances may watch
/// different signals side by side; a signal belongs to the latest instance that watches it.
class UnixSignals : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignals(QObject* parent = nullptr)
        : UnixSignals({SIGINT, SIGTERM, SIGHUP}, parent)
    { }
    explicit UnixSignals(const std::vector<int>& watched, QObject* parent = nullptr);
    /// The watched signals are back to their defaults.
    ~UnixSignals() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    /// One or more of the watched signals arrived; signals that arrive while one waits make one emission.
    void received();

private:
    static void onSignal(int signal);
    void drain();

    std::vector<int> m_watched;
    int m_event = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
