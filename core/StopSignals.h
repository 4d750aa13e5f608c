#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <memory>
#include <vector>

/// Turns stop signals (SIGINT, SIGTERM and SIGHUP unless told others) into a Qt signal on the event loop, through an
/// eventfd the handler counts up. One at a time per process: the handler knows only the latest.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr)
        : StopSignals({SIGINT, SIGTERM, SIGHUP}, parent)
    { }
    explicit StopSignals(const std::vector<int>& watched, QObject* parent = nullptr);
    ~StopSignals() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    void stopRequested();

private:
    static void onSignal(int signal);
    void drain();

    std::vector<int> m_watched;
    int m_event = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
