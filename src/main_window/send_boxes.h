#pragma once

#include "password_store.h"
#include "send_outcome.h"
#include "write_log.h"

#include <QObject>
#include <QString>

class MailTransmission;
struct MailSettings;

// Every box a send shows the user (in SendReport's words): the checks and the confirmation before
// the engine is handed the mail, and how the send (or the settings
// window's POP test) ended. The engine reports from inside the socket's
// events, so a box shown here holds the connection's later events until
// it is answered, as the program has always behaved.
class SendBoxes : public QObject {
  Q_OBJECT

 public:
  // The engine and the running settings (which the settings window may
  // change between sends) must outlive this object; the passwords come
  // from passwords.
  SendBoxes(MailTransmission& engine, const MailSettings& running, PasswordStore passwords,
            QObject* parent = nullptr);

  // The send button: the checks, the questions and the confirmation; then
  // the passwords, and the engine sends with the running settings as they
  // are now, logging into the log folder in use.
  void send(const QString& typedRecipient, const QString& subject, const QString& body);
  // The settings window's POP test, with the running POP values.
  void testPopLogin();

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
  const PasswordStore passwords_;
};
