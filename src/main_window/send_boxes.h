#pragma once

#include "send_outcome.h"
#include "write_log.h"

#include <QObject>
#include <QString>

class MailTransmission;
struct MailSettings;

// Every box a send shows the user: the checks and the confirmation before
// the engine is handed the mail, and how the send (or the settings
// window's POP test) ended. The engine reports from inside the socket's
// events, so a box shown here holds the connection's later events until
// it is answered, as the program has always behaved.
class SendBoxes : public QObject {
  Q_OBJECT

 public:
  // The engine and the running settings (which the settings window may
  // change between sends) must outlive this object.
  SendBoxes(MailTransmission& engine, const MailSettings& running, QObject* parent = nullptr);

  // The send button: the checks, the questions and the confirmation; then
  // the engine sends with the running settings as they are now.
  void send(const QString& typedRecipient, const QString& subject, const QString& body);
  // The settings window's POP test, with the running POP values.
  void testPopLogin();

  // The text of the box a failure gets (the command-line sender prints it).
  static QString failureText(const SendFailure& failure);
  // The text of the box a check refuses with; empty when it refuses nothing
  // (for TextUnmappable: the characters, without the question).
  static QString refusalText(const SendCheck& check);

 signals:
  // Yes to "clear subject and body?" after a completed send.
  void clearSubjectAndBody();
  // The POP test logged in; sent after its box was answered.
  void popTestSucceeded();

 private:
  // A box for a check that stops the send; false when the send may go on.
  bool refusedBeforeSending(const SendCheck& check);
  bool confirmed(const SendCheck& check);
  void showFailure(const SendFailure& failure);
  void showSent(const MailLog::LogResult& log);
  void showPopTestSucceeded();

  MailTransmission& engine_;
  const MailSettings& running_;
};
