#pragma once

#include <QString>

#include <optional>

namespace service {

/// The Unix socket the service listens on for its user alone, in a folder that only the user can enter.
class OwnSocket
{
public:
    /// Why folder cannot hold the user's socket: it is not a directory of this user's (a link to one does not
    /// count), or others may enter it. Empty when it can. With create, a missing folder is made (0700) first, as
    /// long as the folder it goes in exists.
    static QString folderProblem(const QString& folder, bool create);

    /// A listening socket and the lock that makes it the one service's at its path.
    struct Listening {
        int socket = -1;
        int lock = -1;
    };

    /// Makes a listening socket at path (0600, in a folder as folderProblem wants it) and returns its
    /// descriptor and that of the lock taken first (see lock()): the path is looked at and replaced only under the
    /// lock. A socket left there by a service that has ended is replaced; one that a running service still answers
    /// on, or anything else at path, is left alone and refused with *error saying why, and *taken set when another
    /// service answers there.
    static std::optional<Listening> listen(const QString& path, QString* error, bool* taken = nullptr);

    /// Takes the lock of the socket at socketPath: socketPath + ".lock", a file in the same folder held (flock) for
    /// the service's life, which names the process holding it. Tries for waitMs (0: once); returns the descriptor
    /// to keep open, or nothing with *error saying why and *taken set when another service holds it.
    static std::optional<int> lock(const QString& socketPath, int waitMs, QString* error, bool* taken = nullptr);

    /// The path a listening Unix socket is bound to; empty for an abstract or unnamed one, or another family.
    static QString boundPath(int descriptor);
};

} // namespace service
