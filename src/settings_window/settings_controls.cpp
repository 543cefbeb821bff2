#include "settings_controls.h"

#include "window_look.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace SettingsControls {

using WindowLook::kWindowColour;
using WindowLook::paintBackground;

QLabel* label(const QString& text, QWidget* parent) {
  auto* result = new QLabel(text, parent);
  paintBackground(result, kWindowColour);
  return result;
}

QGroupBox* frame(const QString& title, QWidget* parent) {
  auto* result = new QGroupBox(title, parent);
  paintBackground(result, kWindowColour);
  return result;
}

QPushButton* button(const QString& text, QWidget* parent) {
  auto* result = new QPushButton(text, parent);
  WindowLook::paint(result, {QPalette::Button}, WindowLook::kButtonColour);
  result->setAutoDefault(false);
  return result;
}

QCheckBox* checkBox(const QString& text, QWidget* parent) {
  auto* result = new QCheckBox(text, parent);
  // A button fills with its button colour; a check box here takes the
  // window colour like the labels.
  result->setBackgroundRole(QPalette::Window);
  paintBackground(result, kWindowColour);
  return result;
}

QLineEdit* textBox(QWidget* parent, int width) {
  auto* result = new QLineEdit(parent);
  result->setMinimumWidth(width);
  return result;
}

QLineEdit* passwordBox(QWidget* parent, int width) {
  QLineEdit* result = textBox(parent, width);
  result->setEchoMode(QLineEdit::Password);
  // "*" for every character, whatever the style would draw.
  result->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  result->setAttribute(Qt::WA_InputMethodEnabled, false);
  result->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhNoPredictiveText | Qt::ImhSensitiveData |
                              Qt::ImhNoAutoUppercase);
  return result;
}

void followDefaultPort(QLineEdit* portBox, int formerDefault, int newDefault) {
  const QString port = portBox->text().trimmed();
  if (port.isEmpty() || port == QString::number(formerDefault)) portBox->setText(QString::number(newDefault));
}

}  // namespace SettingsControls
