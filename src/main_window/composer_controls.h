#pragma once

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The kinds of control the composing window is made of, each with the
// window's look and behaviour.
namespace ComposerControls {

// A caption or counter: a press on it is the label's own and never reaches
// the window (where it would start a drag).
QLabel* makeLabel(QWidget* parent, const QString& text);
// A button in its own colour whatever the desktop's style, raised and sunk
// when pressed.
QPushButton* makeButton(QWidget* parent, const QString& text);
// An editable list that holds exactly what was typed: Enter adds nothing
// to the list, and typing is not completed from it.
QComboBox* makeCombo(QWidget* parent, QLineEdit* edit);

}  // namespace ComposerControls
