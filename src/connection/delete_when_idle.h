#pragma once

#include <QObject>

// Deletes an object only once none of its own functions is on the stack.
//
// A handler of one of the connection's signals may open a modal box, whose
// event loop runs while the signalling function is still below it on the
// stack. An object given up in there (the connection closed, say) and
// deleted by a plain deleteLater() could be freed inside that loop and
// then returned to. Each function of the owner that emits or is called
// back holds a Call for its duration; dispose() deletes the owner at once
// when idle, or after the last Call has returned.
class DeleteWhenIdle {
 public:
  explicit DeleteWhenIdle(QObject& owner) : owner_(owner) {}
  DeleteWhenIdle(const DeleteWhenIdle&) = delete;
  DeleteWhenIdle& operator=(const DeleteWhenIdle&) = delete;

  class Call {
   public:
    explicit Call(DeleteWhenIdle& guard) : guard_(guard) { ++guard_.calls_; }
    ~Call() {
      if (--guard_.calls_ == 0 && guard_.disposed_) guard_.owner_.deleteLater();
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

   private:
    DeleteWhenIdle& guard_;
  };

  // The owner goes: from the event loop, after the last of its calls on the
  // stack has returned (the callers below may still touch it until then).
  void dispose() {
    if (disposed_) return;
    disposed_ = true;
    if (calls_ == 0) owner_.deleteLater();
  }

 private:
  QObject& owner_;
  int calls_ = 0;
  bool disposed_ = false;
};
