#pragma once

#include <QString>

// How the reference host writes chat texts as single lines, and reads them back with --escapes:
// a backslash is "\\", CR is "\r", LF is "\n"; every other character stands for itself.

/// The text as one line, with CR, LF and backslash written as escapes.
QString escapeChatText(const QString& text);

/// Undoes escapeChatText; a backslash before any other character, or at the end, is kept as it is.
QString unescapeChatText(const QString& line);
