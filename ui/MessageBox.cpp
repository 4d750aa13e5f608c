#include "MessageBox.h"

#include <QMessageBox>

#include <utility>

namespace {

MessageBox::Hook& hook()
{
    static MessageBox::Hook installed;
    return installed;
}

} // namespace

void MessageBox::information(QWidget* parent, const QString& text)
{
    if (hook()) {
        // A copy: the hook may replace itself while it runs.
        const Hook current = hook();
        current(parent, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Verbolt"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void MessageBox::setHook(Hook newHook)
{
    hook() = std::move(newHook);
}
