#include "TriStateCheckBox.h"

TriStateCheckBox::TriStateCheckBox(const QString& text, QWidget* parent)
    : QCheckBox(text, parent)
{
    setTristate(true);
    // The form's check boxes are 13 pixels high; a taller indicator would lose its lower edge.
    setStyleSheet(QStringLiteral("QCheckBox::indicator { width: 12px; height: 12px; }"));
}

int TriStateCheckBox::value() const
{
    switch (checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    case Qt::Unchecked: break;
    }
    return 0;
}

void TriStateCheckBox::setValue(int value)
{
    switch (value) {
    case 1: setCheckState(Qt::Checked); break;
    case 2: setCheckState(Qt::PartiallyChecked); break;
    default: setCheckState(Qt::Unchecked); break;
    }
}

void TriStateCheckBox::nextCheckState()
{
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}
