#include "message_box.h"

#include <QtGlobal>

namespace MessageBox {
namespace {

Responder& installedResponder() {
  static Responder responder;
  return responder;
}

}  // namespace

Answer show(const Request& request) {
  if (installedResponder()) return installedResponder()(request);
  // Nobody to ask (a process without a screen): the default button answers.
  qWarning("%s", qUtf8Printable(request.text));
  return request.defaultButton;
}

Answer show(const QString& text, Buttons buttons, Icon icon, const QString& title, Answer defaultButton) {
  Request request;
  request.text = text;
  request.buttons = buttons;
  request.icon = icon;
  request.title = title;
  // The first button is the default unless another is named.
  if (defaultButton == Answer::Ok && buttons == Buttons::YesNo) defaultButton = Answer::Yes;
  request.defaultButton = defaultButton;
  return show(request);
}

Responder setResponder(Responder responder) {
  return std::exchange(installedResponder(), std::move(responder));
}

}  // namespace MessageBox
