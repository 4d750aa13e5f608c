#pragma once

#include <QString>

/// The pane's one line per run that says the conversation went online: which engine, and to whom the text went.
class OnlineNote
{
public:
    /// The line, marked as the program's own, so that no partner's line reads like it.
    static QString lineFor(const QString& name, const QString& provider);

    /// The line to show for a translation reply: the note the first time a reply says it went online, else "".
    QString take(const QString& reply);

private:
    bool m_shown = false;
};
