#pragma once

#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The kinds of control the settings window and its dialogs are made of,
// each in the window's colours.
namespace SettingsControls {

QLabel* label(const QString& text, QWidget* parent);
QGroupBox* frame(const QString& title, QWidget* parent);
// Enter typed in a text box presses no button; a button with the focus
// still takes Enter (the window's keyPressEvent).
QPushButton* button(const QString& text, QWidget* parent);
QCheckBox* checkBox(const QString& text, QWidget* parent);
QLineEdit* textBox(QWidget* parent, int width);
// Shows "*" for every character and takes no input-method composition.
QLineEdit* passwordBox(QWidget* parent, int width);

// A port that was the default of the former encryption (or none) becomes
// the default of the new one; a port the user chose stays.
void followDefaultPort(QLineEdit* portBox, int formerDefault, int newDefault);

}  // namespace SettingsControls
