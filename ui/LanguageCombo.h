#pragma once

#include <QComboBox>

/// A language chooser: a drop-down list with an editable text field whose text is used exactly as shown.
/// Typing never completes a name and never adds it to the list.
class LanguageCombo : public QComboBox
{
    Q_OBJECT
public:
    explicit LanguageCombo(QWidget* parent = nullptr);

    /// A sorted list places each added entry in alphabetical order; otherwise entries keep their order of adding.
    void setSorted(bool sorted) { m_sorted = sorted; }
    bool isSorted() const { return m_sorted; }

    /// Appends an entry (in its place when sorted) without selecting it or changing the text field.
    void AddItem(const QString& text);

    /// Removes every entry and empties the text field.
    void Clear();

    /// Inserts text at the caret of the text field, replacing any selected text.
    void insertAtCaret(const QString& text);

private:
    bool m_sorted = false;
};
