#pragma once

#include <QByteArray>
#include <QString>

namespace service {

/// A file the service reads that the user may have replaced by something else: taken only when it is a regular
/// file of at most a size. A FIFO, a device, a folder or a link to one is refused without reading from it or
/// blocking on it: it is opened non-blocking (O_NONBLOCK), and what was opened is checked (fstat).
class RegularFile
{
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    /// Opens path (links followed) when it is a regular file of at most maxBytes. False with *error saying why,
    /// the path first: "PATH is not a regular file but a FIFO", "PATH is larger than 1 MiB", "cannot read PATH: ...".
    bool open(const QString& path, qint64 maxBytes, QString* error);
    /// Its whole content (at most the maxBytes given to open); false with *error when it cannot be read or has
    /// grown past the size since.
    bool readAll(QByteArray* bytes, QString* error) const;
    /// The permission bits of what was opened.
    unsigned mode() const { return m_mode; }
    /// Whether path still names what was opened (not replaced meanwhile).
    bool stillAt(const QString& path) const;

private:
    QString m_path;
    qint64 m_maxBytes = 0;
    int m_fd = -1;
    unsigned m_mode = 0;
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

} // namespace service
