#include "focused_button.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

bool pressFocusedButton(QWidget* window, QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
  if (auto* button = qobject_cast<QPushButton*>(window->focusWidget())) button->click();
  return true;
}
