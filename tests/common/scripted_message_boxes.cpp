#include "scripted_message_boxes.h"

#include <QEventLoop>
#include <QTimer>

ScriptedMessageBoxes::ScriptedMessageBoxes(QList<MessageBox::Answer> answers)
    : answers_(std::move(answers)) {
  previous_ = MessageBox::setResponder([this](const MessageBox::Request& r) { return answer(r); });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes() { MessageBox::setResponder(previous_); }

QStringList ScriptedMessageBoxes::texts() const {
  QStringList result;
  for (const auto& request : shown_) result.append(request.text);
  return result;
}

MessageBox::Answer ScriptedMessageBoxes::answer(const MessageBox::Request& request) {
  shown_.append(request);
  if (onShow) onShow(request);
  if (holdOpenMs_ > 0) {
    QEventLoop box;
    QTimer::singleShot(holdOpenMs_, &box, &QEventLoop::quit);
    box.exec();
  }
  if (!answers_.isEmpty()) return answers_.takeFirst();
  return request.defaultButton;
}
