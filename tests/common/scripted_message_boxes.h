#pragma once

#include "message_box.h"

#include <QList>

// Replaces the on-screen message boxes for the lifetime of the object:
// records every box the program shows and answers it from a script.
// Boxes beyond the script get the default answer given (Ok when unset,
// which a Yes/No box takes as its default button).
class ScriptedMessageBoxes {
 public:
  explicit ScriptedMessageBoxes(QList<MessageBox::Answer> answers = {});
  ~ScriptedMessageBoxes();
  ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
  ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

  void queue(MessageBox::Answer answer) { answers_.append(answer); }

  // Each box stays "on the screen" this long before it is answered, running
  // an event loop of its own as a modal box does: whatever the connection
  // does meanwhile (the server closing it, say) is handled inside the box.
  void holdOpenFor(int milliseconds) { holdOpenMs_ = milliseconds; }

  // Called with each box while it is "on the screen", before it is answered.
  std::function<void(const MessageBox::Request&)> onShow;

  const QList<MessageBox::Request>& shown() const { return shown_; }
  QStringList texts() const;
  qsizetype count() const { return shown_.size(); }
  void clear() { shown_.clear(); }

 private:
  MessageBox::Answer answer(const MessageBox::Request& request);

  QList<MessageBox::Answer> answers_;
  QList<MessageBox::Request> shown_;
  MessageBox::Responder previous_;
  int holdOpenMs_ = 0;
};
