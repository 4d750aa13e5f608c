#pragma once

#include <QCheckBox>

/// A check box whose state is the integer 0 (unticked), 1 (ticked) or 2 (greyed). State 2 comes only from
/// setValue; a click toggles between 0 and 1, and a click on a greyed box ticks it.
class TriStateCheckBox : public QCheckBox
{
    Q_OBJECT
public:
    explicit TriStateCheckBox(const QString& text, QWidget* parent = nullptr);

    int value() const;
    /// Values other than 0, 1 and 2 set 0.
    void setValue(int value);

protected:
    void nextCheckState() override;
};
