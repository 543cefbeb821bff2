#include "composer_controls.h"

#include "window_look.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
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

QIcon makeIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(WindowLook::kWindowColour);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF letter(4.5, 8.5, 23, 16);
  painter.setPen(QPen(QColor(40, 70, 100), 1.5));
  painter.setBrush(kBoxColour);
  painter.drawRect(letter);
  painter.drawLine(letter.topLeft(), QPointF(16, 17.5));
  painter.drawLine(letter.topRight(), QPointF(16, 17.5));
  painter.end();
  return QIcon(pixmap);
}

}  // namespace ComposerControls
