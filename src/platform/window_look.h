#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <initializer_list>

class QWidget;

// The colours and faces both windows share.
namespace WindowLook {

inline const QColor kWindowColour(130, 176, 204);  // the windows' blue
inline const QColor kBoxColour(236, 251, 251);     // text and list boxes of the main window
inline const QColor kButtonColour(197, 221, 228);

// Sets the colour for each of the widget's palette roles.
void paint(QWidget* widget, std::initializer_list<QPalette::ColorRole> roles, const QColor& colour);
// The widget fills its background with the colour.
void paintBackground(QWidget* widget, const QColor& colour);
void setTextColour(QWidget* widget, const QColor& colour);

// The Windows face first, then one a Japanese Linux desktop has.
QFont fixedPitchFont();         // the subject and body boxes
QFont proportionalFont(QFont base);  // the version line of the settings window

}  // namespace WindowLook
