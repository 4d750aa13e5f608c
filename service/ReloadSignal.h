#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace service {

/// Turns SIGHUP (what `systemctl --user reload` sends) into a Qt signal on the event loop, through an eventfd the
/// handler counts up: the settings are read again, as POST /verbolt/reload does. Signals that arrive while one
/// reload waits make one reload.
class ReloadSignal : public QObject
{
    Q_OBJECT
public:
    explicit ReloadSignal(QObject* parent = nullptr);
    /// SIGHUP is back to its default.
    ~ReloadSignal() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    void reloadRequested();

private:
    static void onSignal(int signal);
    void drain();

    int m_event = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace service
