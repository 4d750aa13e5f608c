#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

/// The program's notices: modal, one OK button, caption "Verbolt", plain text.
class MessageBox
{
public:
    /// Shows text and returns when the operator has closed the box.
    static void information(QWidget* parent, const QString& text);

    /// Shows text with OK and the given buttons; returns the caption of the button pressed, "" for OK.
    static QString ask(QWidget* parent, const QString& text, const QStringList& buttons);

    /// Replaces every box with hook until it is reset with an empty function. The hook runs where the box would
    /// be open, so it may run events or handlers as the operator could while the box is up; returning from the
    /// hook is pressing OK. For tests.
    using Hook = std::function<void(QWidget* parent, const QString& text)>;
    static void setHook(Hook hook);

    /// While a hook is set, the next box that offers button is answered with it, once the hook has returned;
    /// boxes that do not offer it are answered OK. For tests.
    static void preAnswer(const QString& button);
};
