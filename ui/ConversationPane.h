#pragma once

#include <QPlainTextEdit>
#include <QString>

/// The conversation pane. Keeps its text exactly as the flows build it (CR LF line ends, CR CR LF from the reply
/// repair) and shows it as plain text, with CR LF, CR CR LF, a lone CR and a lone LF each one line break.
/// The user can select and copy but not type. Control characters never reach it raw (PaneText::escaped).
class ConversationPane : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit ConversationPane(QWidget* parent = nullptr);

    /// The text as built, line ends included.
    const QString& text() const { return m_text; }

    /// Replaces the whole text.
    void setText(const QString& text);

    /// Adds text at the end; costs time in proportion to text, not to the pane.
    void appendText(const QString& text);

    /// Puts the caret after the last character and scrolls it into view.
    void moveCaretToEnd();

    /// The entry the pane adds to its standard context menu.
    static QString enginesEntry();

signals:
    /// Text was added at the end; shown is what the pane shows of it, every line end a single LF.
    void appended(const QString& shown);
    /// The operator chose the translation engines from the context menu.
    void enginesRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString m_text;
};
