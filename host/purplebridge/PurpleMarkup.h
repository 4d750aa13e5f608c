#pragma once

#include <QString>

// libpurple carries message text as HTML-like markup; the chat host interface carries plain text whose lines are
// separated by CR.

/// What a libpurple message shows, as plain text: tags removed, entities decoded, <br> and line feeds as CR.
QString markupToPlain(const QString& markup);

/// Markup that libpurple shows and sends exactly as the plain text reads: &, <, > and " escaped, line breaks
/// (CR, LF or CR LF) as <br>, control characters other than tab dropped.
QString plainToMarkup(const QString& text);
