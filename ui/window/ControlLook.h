#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>

class QCheckBox;
class QWidget;

/// How the window's controls are measured, lettered and coloured.
namespace ControlLook {

/// A rectangle given in twips, 15 to a logical pixel.
QRect twips(int left, int top, int width, int height);

/// The system face at the given size.
QFont sans(qreal points, bool bold = false);

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour);

/// A caption that would be clipped keeps its face and size and takes the first narrower cut of the face that fits
/// room; trailing spaces may run past the edge.
void fitCaption(QWidget* control, const QString& text, int room);

/// fitCaption for the room a check box leaves its caption.
void fitCheckBox(QCheckBox* box);

} // namespace ControlLook
