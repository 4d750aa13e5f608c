#pragma once

#include <QString>

/// What the conversation pane and the transcript may hold. A partner's text never reaches either with a control
/// character that a terminal or the pane would obey: each is shown escaped. And the program's own lines begin with
/// ">!! ", which no line derived from a partner's text can hold, since every '>' there is shown as "<<".
class PaneText
{
public:
    /// The text with every control character a terminal or the pane would obey written out: C0 controls other than
    /// TAB, CR and LF, DEL and C1 controls as \xHH; the bidirectional embeddings, overrides and isolates
    /// (U+202A..U+202E, U+2066..U+2069) and the line and paragraph separators (U+2028, U+2029) as \uHHHH. Hex
    /// digits are lower case. Text without any comes back as it is, so escaping twice changes nothing.
    static QString escaped(const QString& text);

    /// The same, and CR and LF written out too (\x0d, \x0a): the text stays on one line.
    static QString oneLine(const QString& text);

    /// One line of the program's own: ">!! " and the text kept on one line, CR LF.
    static QString ownLine(const QString& text);

    /// The program's line in place of a translation that did not come: ">!! not translated: reason", CR LF.
    static QString notTranslated(const QString& reason);

    /// The program's line after a typed line that never reached the chat: ">!! not sent: reason", CR LF.
    static QString notSent(const QString& reason);

    /// The program's line for what the chat host says about itself: ">!! chat host: text", CR LF.
    static QString fromHost(const QString& text);
};
