#include "composer_controls.h"

#include "window_look.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace ComposerControls {

using WindowLook::kBoxColour;
using WindowLook::kButtonColour;

QLabel* makeLabel(QWidget* parent, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setAttribute(Qt::WA_NoMousePropagation);
  return label;
}

QPushButton* makeButton(QWidget* parent, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 2px outset %1; }"
                                       "QPushButton:pressed { border-style: inset; }"
                                       "QPushButton:focus { border-color: %2; }")
                            .arg(kButtonColour.name(), kButtonColour.darker(125).name()));
  return button;
}

QComboBox* makeCombo(QWidget* parent, QLineEdit* edit) {
  auto* combo = new QComboBox(parent);
  combo->setLineEdit(edit);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setCompleter(nullptr);
  WindowLook::paint(combo, {QPalette::Base, QPalette::Button}, kBoxColour);
  return combo;
}

}  // namespace ComposerControls
