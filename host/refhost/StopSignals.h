#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event loop, through an eventfd the handler counts up.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    void stopRequested();

private:
    static void onSignal(int signal);
    void drain();

    int m_event = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
