#include "ConversationPane.h"

#include "PaneText.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextCursor>

namespace {

// What the document shows for text: each CR CR LF, CR LF, lone CR and lone LF becomes one line break.
QString shownForm(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (text.mid(i + 1, 2) == QLatin1String("\r\n"))
                i += 2;
            else if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            shown.append(u'\n');
        } else {
            shown.append(c);
        }
    }
    return shown;
}

} // namespace

ConversationPane::ConversationPane(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void ConversationPane::setText(const QString& text)
{
    m_text = PaneText::escaped(text);
    setPlainText(shownForm(m_text));
}

void ConversationPane::appendText(const QString& text)
{
    // Every piece the flows add ends with a line end, so no CR LF pair is split between two pieces.
    const QString safe = PaneText::escaped(text);
    m_text.append(safe);
    const QString shown = shownForm(safe);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(shown);
    emit appended(shown);
}

void ConversationPane::moveCaretToEnd()
{
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
}

QString ConversationPane::enginesEntry()
{
    return tr("Translation engines\u2026");
}

void ConversationPane::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu(event->pos());
    menu->addSeparator();
    menu->addAction(enginesEntry(), this, &ConversationPane::enginesRequested);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
