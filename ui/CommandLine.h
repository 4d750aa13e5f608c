#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

/// The verbolt program's own options, read before any QApplication exists so that --help and --version answer
/// without a display or a session bus. Every other argument is left to Qt (-platform, -style, ...).
class CommandLine
{
public:
    /// What the arguments ask for: when exitCode is set, print out and end with it instead of starting.
    struct Answer {
        std::optional<int> exitCode;
        QByteArray out;
        /// --engines: the translation engines dialog alone, in place of the window.
        bool engines = false;
    };

    /// The answer to the arguments that follow the program name.
    static Answer read(const QStringList& arguments);

    /// Reads main's arguments and prints the answer; returns the exit code when the program must end now.
    /// *answer (when given) is what the arguments asked for.
    static std::optional<int> handle(int argc, char** argv, Answer* answer = nullptr);

    static QByteArray helpText();
    static QByteArray versionText();
};
