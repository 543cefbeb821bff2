#pragma once

#include "mail_transmission.h"

#include <QObject>
#include <QString>

class QLabel;
class QPushButton;
class QShortcut;
class QWidget;

// What the composing window shows of a send under way: a status line with
// the stage and the 中止 button (Escape presses it), in a strip below the
// buttons that the window grows by only while a send runs. A user who never
// sends sees the window exactly as it always was.
class SendProgress : public QObject {
  Q_OBJECT

 public:
  // Places the strip at the window's bottom edge, height `restingHeight`
  // (the window's fixed height between sends); hidden until a send starts.
  SendProgress(QWidget& window, MailTransmission& engine, int left, int width, int restingHeight);

  // The status line's words for a stage (empty for Idle).
  static QString stageText(MailTransmission::Stage stage, const QString& host, quint16 port);

  QPushButton* cancelButton() const { return cancelButton_; }

 private:
  void onBusyChanged(bool busy);

  QWidget& window_;
  MailTransmission& engine_;
  int restingHeight_;
  QLabel* status_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QShortcut* escape_ = nullptr;
};
