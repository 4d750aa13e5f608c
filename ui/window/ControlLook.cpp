#include "ControlLook.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionButton>

namespace ControlLook {

// The form is laid out in twips, 15 to a logical pixel; every measure is a multiple of 15.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QFont sans(qreal points, bool bold)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

// The system face is often wider than the one the form was drawn with.
void fitCaption(QWidget* control, const QString& text, int room)
{
    QString shown = text;
    while (shown.endsWith(u' '))
        shown.chop(1);
    QFont font = control->font();
    for (const int stretch : {QFont::Unstretched, QFont::SemiCondensed, QFont::Condensed, QFont::ExtraCondensed}) {
        font.setStretch(stretch);
        if (QFontMetrics(font).horizontalAdvance(shown) <= room)
            break;
    }
    control->setFont(font);
}

void fitCheckBox(QCheckBox* box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect contents = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    fitCaption(box, box->text(), box->width() - contents.left());
}

} // namespace ControlLook
