#include "window_look.h"

#include <QStringList>
#include <QWidget>

namespace WindowLook {

void paint(QWidget* widget, std::initializer_list<QPalette::ColorRole> roles, const QColor& colour) {
  QPalette palette = widget->palette();
  for (QPalette::ColorRole role : roles) palette.setColor(role, colour);
  widget->setPalette(palette);
}

void paintBackground(QWidget* widget, const QColor& colour) {
  paint(widget, {QPalette::Window}, colour);
  widget->setAutoFillBackground(true);
}

void setTextColour(QWidget* widget, const QColor& colour) { paint(widget, {QPalette::WindowText}, colour); }

QFont fixedPitchFont() {
  QFont font(QStringList{QStringLiteral("ＭＳ ゴシック"), QStringLiteral("Noto Sans Mono CJK JP")}, 9);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

QFont proportionalFont(QFont base) {
  base.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("Noto Sans CJK JP")});
  return base;
}

}  // namespace WindowLook
