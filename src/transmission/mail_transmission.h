#pragma once

#include "outgoing_mail.h"
#include "password_store.h"
#include "pop_login.h"
#include "server_link.h"
#include "smtp_dialogue.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

class SocketControl;
struct MailSettings;

// The main window's share of sending: the send command, the routing of the
// socket's events to the POP login or the SMTP dialogue, and the reports
// of how a send ended. No widget lives here; the window hands in the texts
// it shows and gets called back to clear them.
//
// A send with POP before SMTP logs in to POP first: when the POP server
// closes the connection after QUIT, the SMTP dialogue follows on a new
// connection. Later sends of the run go straight to SMTP until the login is
// older than the settings' PopInterval; then the next send logs in again.
class MailTransmission : public QObject {
  Q_OBJECT

 public:
  // The socket and the settings (the running ones, which the settings
  // window may change between sends) must outlive this object.
  MailTransmission(SocketControl& socket, const MailSettings& running, QObject* parent = nullptr);

  SocketControl& socket() { return socket_; }

  // The send button: checks, confirmation, capture of the texts, connect.
  // Blanks around the recipient, the sender and the server names are not
  // theirs and are left out.
  void CmdMail_Click(const QString& typedRecipient, const QString& subject, const QString& body);

  // The settings window's POP test with the running POP values: gives up
  // any open connection and logs in without sending. onSucceeded runs after
  // the success box, also when the settings window is gone by then.
  void StartPopTest(std::function<void()> onSucceeded);

  // Called on a Yes to "clear subject and body": the window empties its
  // boxes (their change handling runs as for any edit).
  std::function<void()> clearSubjectBox;
  std::function<void()> clearBodyBox;

  // What a send holds, for the window's tests and the fuzz target.
  const OutgoingMail& mail() const { return mail_; }
  SmtpDialogue::State smtpState() const { return smtp_.state(); }
  PopLogin::State popState() const { return popLogin_.state(); }
  bool smtpPhase() const { return smtpPhase_; }
  bool popTestRunning() const { return popTest_; }
  const QString& lastReply() const { return lastReply_; }
  const QByteArray& mailText() const { return smtp_.mailText(); }
  qsizetype unreadReplyBytes() const { return server_.unreadBytes(); }
  // A connection is open: a send or a POP test is under way.
  bool busy() const { return busy_; }

 signals:
  void busyChanged(bool busy);

 private:
  // What the time-limit box adds when the server never greeted.
  QString greetingMissingHint() const;
  // Socket events (the connect event needs nothing: the dialogues start
  // with the server's first reply).
  void Winsock_DataArrival();
  void Winsock_Close();
  void Winsock_Error(std::int16_t number, const QString& description);
  void Winsock_TlsReady();

  void mtPBSMTP(const PopReply& reply);
  void completeSend();
  // The server answered 250 to the end of the data and QUIT went out.
  bool mailAccepted() const;
  // A failure after that: the send is complete all the same (what: for the transcript).
  void completeAfterAcceptance(const QString& what);
  void restartDialogues();
  // After every event: the time limit for the reply now awaited (started
  // afresh for a new wait: a reply taken, a new connection), and whether a
  // connection is open.
  void settle(bool newWait);
  void onNoAnswer(bool wholeSendOver);
  void connectToSmtp();
  void connectToPop();
  bool popLoginAged() const;
  bool smtpEncryptedFromStart() const;
  // A box and false when the password's store does not give it.
  bool fetchPassword(PasswordStore::Which which, QString& password);

  SocketControl& socket_;
  const MailSettings& running_;
  ServerLink server_;
  QString lastReply_;  // the server's last text, shown when a server gives up early
  SmtpDialogue smtp_{server_, lastReply_};
  PopLogin popLogin_{server_, lastReply_};
  OutgoingMail mail_;
  QString popPassword_;  // from the send command to the POP login's PASS, then wiped
  // The connection in progress is the SMTP one, or the POP login of this
  // run is done; stays true after a completed send.
  bool smtpPhase_ = false;
  QElapsedTimer popLoginAge_;  // since the last POP login of a send
  bool popTest_ = false;  // the POP login in progress is only the settings window's test
  std::function<void()> onPopTestSucceeded_;
  QTimer replyTimer_;  // the time limit of the reply now awaited
  QTimer sendTimer_;  // the time limit of the whole send, POP login included
  bool busy_ = false;
  bool handling_ = false;  // a handler runs (a box of its may be on the screen)
};
