#pragma once

// One table for both readers of verbolt-service.conf, the service's (ServiceConfig, through QSettings) and the
// engines dialog's (ServiceConfFile): CR, LF and CR LF each end a line, in any mix, and both read the same values.

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <ostream>

namespace conflineends {

struct Case {
    const char* name;
    QByteArray file;
    bool oneKindOfLineEnd; ///< a file the dialog writes back with the line end it had
};

inline void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

/// What every case holds: section, key, value.
inline const QList<std::array<const char*, 3>> kValues = {
    {"llm", "url", "http://127.0.0.1:9"},
    {"llm", "model", "m"},
    {"mymemory", "email", "op@example.org"},
};

inline QByteArray joined(const QByteArray& lineEnd)
{
    return "[llm]" + lineEnd + "url=http://127.0.0.1:9" + lineEnd + "; a comment" + lineEnd + "model=m" + lineEnd
        + lineEnd + "[mymemory]" + lineEnd + "email=op@example.org" + lineEnd;
}

inline const QList<Case> kCases = {
    {"lf", joined("\n"), true},
    {"crlf", joined("\r\n"), true},
    {"bareCr", joined("\r"), true},
    {"bareCrWithoutTheLastOne", joined("\r").chopped(1), true},
    {"lfCrIsTwoLineEnds", joined("\n\r"), false},
    {"mixed", "[llm]\r\nurl=http://127.0.0.1:9\r; a comment\nmodel=m\r\r\n[mymemory]\remail=op@example.org", false},
};

} // namespace conflineends
