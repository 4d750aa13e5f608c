#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

// Reads UTF-8 lines from a file descriptor (standard input) as they come, without blocking the event loop.
class ConsoleInput : public QObject
{
    Q_OBJECT
public:
    explicit ConsoleInput(int fd, QObject* parent = nullptr);

signals:
    // One line, without its LF; a last line without LF comes at the end of input.
    void lineRead(const QString& line);
    // End of input (or an input that cannot be read); comes once.
    void ended();

private:
    void readMore();
    void end();

    int m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
    bool m_ended = false;
};
