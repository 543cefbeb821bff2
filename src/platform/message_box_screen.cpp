#include "message_box.h"
#include "message_box_screen.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace MessageBox {
namespace {

QMessageBox::StandardButton standardButton(Answer answer) {
  switch (answer) {
    case Answer::Ok: return QMessageBox::Ok;
    case Answer::Cancel: return QMessageBox::Cancel;
    case Answer::Yes: return QMessageBox::Yes;
    case Answer::No: return QMessageBox::No;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon messageIcon(Icon icon) {
  switch (icon) {
    case Icon::None: return QMessageBox::NoIcon;
    case Icon::Exclamation: return QMessageBox::Warning;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Critical: return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

Answer showOnScreen(const Request& request) {
  QMessageBox box(ownerWindow());
  box.setIcon(messageIcon(request.icon));
  box.setWindowTitle(request.title.isEmpty() ? kApplicationTitle : request.title);
  // Server replies end up in boxes: never let them be read as markup.
  box.setTextFormat(Qt::PlainText);
  QString text = request.text;
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  box.setText(text);

  Answer escapeAnswer = Answer::Ok;
  switch (request.buttons) {
    case Buttons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      escapeAnswer = Answer::Ok;
      break;
    case Buttons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      escapeAnswer = Answer::Cancel;
      break;
    case Buttons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      escapeAnswer = Answer::No;
      break;
  }
  box.setEscapeButton(standardButton(escapeAnswer));
  if (QAbstractButton* defaultButton = box.button(standardButton(request.defaultButton)))
    box.setDefaultButton(qobject_cast<QPushButton*>(defaultButton));

  switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return escapeAnswer;
  }
}

}  // namespace

// The window the box belongs to: the one the user is working in, so the box
// stays in front of it (and a second start raises the box, not the window).
// A box raised by the connection while another program has the focus still
// belongs to the program's window, not to the middle of the screen.
QWidget* ownerWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  const QWidgetList windows = QApplication::topLevelWidgets();
  for (QWidget* window : windows)
    if (window->isVisible() && !window->isMinimized() && window->windowType() != Qt::ToolTip &&
        window->windowType() != Qt::Popup)
      return window;
  return nullptr;
}

Responder screenResponder() { return showOnScreen; }

}  // namespace MessageBox
