#pragma once

#include <QString>

#include <functional>

class QWidget;

/// The program's notices: modal, one OK button, caption "Verbolt", plain text.
class MessageBox
{
public:
    /// Shows text and returns when the operator has closed the box.
    static void information(QWidget* parent, const QString& text);

    /// Replaces every box with hook until it is reset with an empty function. The hook runs where the box would
    /// be open, so it may run events or handlers as the operator could while the box is up; returning from the
    /// hook is pressing OK. For tests.
    using Hook = std::function<void(QWidget* parent, const QString& text)>;
    static void setHook(Hook hook);
};
