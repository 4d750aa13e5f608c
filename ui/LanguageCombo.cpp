#include "LanguageCombo.h"

#include <QLineEdit>

LanguageCombo::LanguageCombo(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setMaxVisibleItems(25);
}

void LanguageCombo::AddItem(const QString& text)
{
    const bool wasEmpty = count() == 0;
    const QString shown = currentText();
    int at = count();
    if (m_sorted) {
        at = 0;
        while (at < count() && QString::compare(itemText(at), text, Qt::CaseInsensitive) <= 0)
            ++at;
    }
    insertItem(at, text);
    // Adding to an empty list selects the new entry and shows it in the text field; undo that.
    if (wasEmpty) {
        setCurrentIndex(-1);
        setEditText(shown);
    }
}

void LanguageCombo::Clear()
{
    clear();
    setEditText(QString());
}

void LanguageCombo::insertAtCaret(const QString& text)
{
    lineEdit()->insert(text);
}
