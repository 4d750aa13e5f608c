#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace service {

/// The listening socket that systemd handed this process (socket activation, sd_listen_fds(3)).
///
/// Returns the descriptor when exactly one listening stream socket (Unix or TCP) was handed over. Returns nothing with
/// *error left empty when the process was started by hand, and nothing with *error set when what was handed over cannot
/// be served (the process should then end). Takes the hand-over for this process only: the variables that announce it
/// are removed, and the descriptor is not inherited by child processes.
std::optional<qintptr> activatedSocket(QString* error);

} // namespace service
