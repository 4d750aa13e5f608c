#include "MessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace {

MessageBox::Hook& hook()
{
    static MessageBox::Hook installed;
    return installed;
}

QStringList& preAnswers()
{
    static QStringList answers;
    return answers;
}

} // namespace

void MessageBox::information(QWidget* parent, const QString& text)
{
    ask(parent, text, {});
}

QString MessageBox::ask(QWidget* parent, const QString& text, const QStringList& buttons)
{
    if (hook()) {
        // A copy: the hook may replace itself while it runs.
        const Hook current = hook();
        current(parent, text);
        if (!preAnswers().isEmpty() && buttons.contains(preAnswers().first()))
            return preAnswers().takeFirst();
        return {};
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Verbolt"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    QList<QAbstractButton*> added;
    for (const QString& button : buttons)
        added.append(box.addButton(button, QMessageBox::ActionRole));
    box.exec();
    // By the button itself: a style may have put a shortcut mark into its caption.
    const qsizetype pressed = added.indexOf(box.clickedButton());
    return pressed >= 0 ? buttons.at(pressed) : QString();
}

void MessageBox::setHook(Hook newHook)
{
    hook() = std::move(newHook);
    if (!hook())
        preAnswers().clear();
}

void MessageBox::preAnswer(const QString& button)
{
    preAnswers().append(button);
}
