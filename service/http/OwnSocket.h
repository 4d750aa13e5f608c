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

    /// Makes a listening socket at path (0600, in a folder as folderProblem wants it) and returns its
    /// descriptor. A socket left there by a service that has ended is replaced; one that a running service still
    /// answers on, or anything else at path, is left alone and refused with *error saying why.
    static std::optional<int> listen(const QString& path, QString* error);

    /// The path a listening Unix socket is bound to; empty for an abstract or unnamed one, or another family.
    static QString boundPath(int descriptor);
};

} // namespace service
