#pragma once

#include "mail_settings.h"
#include "outgoing_mail.h"
#include "login_secrets.h"
#include "pop_login.h"
#include "send_outcome.h"
#include "server_link.h"
#include "smtp_dialogue.h"
#include "write_log.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <optional>

class SocketControl;

// The sending engine: the routing of the socket's events to the POP login
// or the SMTP dialogue, the time limits, and the report of how a send
// ended. It shows nothing and asks nothing: the checks before a send are
// answered by check(), the caller asks the user what needs asking, and
// every ending comes back as a signal, emitted from inside the socket's
// event (a window that shows a modal box there holds the later events of
// the connection until the box is answered).
//
// A send with POP before SMTP logs in to POP first: when the POP server
// closes the connection after QUIT, the SMTP dialogue follows on a new
// connection. Later sends of the run go straight to SMTP until the login is
// older than the settings' PopInterval; then the next send logs in again.
class MailTransmission : public QObject, private SendFailureSink {
  Q_OBJECT

 public:
  // The socket must outlive this object.
  explicit MailTransmission(SocketControl& socket, QObject* parent = nullptr);

  SocketControl& socket() { return socket_; }

  // The checks before a send, on the typed recipient (blanks around it are
  // not its own), the sender and the values that go into command lines.
  static SendCheck check(const MailSettings& settings, const QString& typedRecipient, const QString& subject,
                         const QString& body);
  // Whether the settings encrypt a connection.
  static bool usesTls(const MailSettings& settings);

  // Whether a send with these settings logs in to POP first: the caller
  // then fetches the POP password too.
  bool logsInToPopFirst(const MailSettings& settings) const;
  // The POP test's values that go into command lines, checked before the
  // caller fetches the password: the failure when one holds a control
  // character.
  static std::optional<SendFailure> checkPopTest(const MailSettings& settings);

  // Sends the checked and confirmed mail with a snapshot of the settings,
  // the passwords the caller fetched (a POP password given: the send logs
  // in to POP first) and the log's place: gives up any connection still
  // open, connects.
  void send(const MailSettings& settings, LoginSecrets secrets, const MailLog::LogPlace& log,
            const QString& typedRecipient, const QString& subject, const QString& body);
  // The settings window's POP test with these POP values and the fetched
  // password: gives up any open connection and logs in without sending.
  void testPopLogin(const MailSettings& settings, QString popPassword);

  // While the caller asks the user something, no time limit of a send
  // still under way ends it (it ends once the question is answered).
  class UserAsked {
   public:
    explicit UserAsked(MailTransmission& engine) : engine_(engine), was_(engine.handling_) { engine.handling_ = true; }
    ~UserAsked() { engine_.handling_ = was_; }
    UserAsked(const UserAsked&) = delete;
    UserAsked& operator=(const UserAsked&) = delete;

   private:
    MailTransmission& engine_;
    bool was_;
  };

  // A connection is open: a send or a POP test is under way.
  bool busy() const { return busy_; }

  // How far the send (or POP test) under way has come, for a window to show.
  enum class Stage { Idle, Connecting, PopLogin, Encrypting, Authenticating, Sending };
  Q_ENUM(Stage)

  // The user stops the send or POP test under way: the connection closes at
  // once (after QUIT where the dialogue allows one), and nothing is reported
  // unless the server had already accepted the mail, which then counts as
  // sent. The next send starts afresh.
  void cancel();

 signals:
  void busyChanged(bool busy);
  // The send under way has reached stage, on the connection to host and port
  // (Idle: it has ended).
  void stageChanged(MailTransmission::Stage stage, const QString& host, quint16 port);
  // The server accepted the mail; log says whether its log was written.
  void sent(const MailLog::LogResult& log);
  // The send (or the POP test) ended without the mail going.
  void failed(const SendFailure& failure);
  // The POP test logged in.
  void popTestSucceeded();

 private:
  void report(const SendFailure& failure) override;
  void reportSettingWithControlCharacter(SendFailure::Setting setting);
  // The port wants TLS from the first byte and the server never greeted
  // the plain connection: 465 or 995, else 0.
  std::uint16_t greetingMissingOnTlsPort() const;
  // Socket events (the connect event needs nothing: the dialogues start
  // with the server's first reply).
  void onBytesArrived();
  void onServerClosed();
  void onSocketError(std::int16_t number, const QString& description);
  void onTlsReady();

  void stepPopLogin(const PopReply& reply);
  void completeSend();
  bool mailAccepted() const;
  void completeAfterAcceptance(const QString& what);
  void restartDialogues();
  // After every event: the time limit for the reply now awaited (started
  // afresh for a new wait: a reply taken, a new connection), and whether a
  // connection is open.
  void settle(bool newWait);
  void onNoAnswer(bool wholeSendOver);
  Stage currentStage() const;
  Stage smtpStage() const;
  void showStage();
  // The server takes a QUIT now: it awaits a command line, not the mail
  // text, a base64 answer or a TLS handshake.
  bool quitAllowed() const;
  void connectToSmtp();
  void connectToPop();
  bool smtpEncryptedFromStart() const;
  // A password that would break its command line stops the send (reported).
  bool passwordsSendable(LoginSecrets& secrets);

  SocketControl& socket_;
  MailSettings settings_;  // of the send (or POP test) under way
  ServerLink server_;
  QString lastReply_;  // the server's last text, reported when a server gives up early
  SmtpDialogue smtp_{server_, lastReply_, *this};
  PopLogin popLogin_{server_, lastReply_, *this};
  OutgoingMail mail_;
  MailLog::LogPlace logPlace_;  // of the send under way
  QString popPassword_;  // from the send command to the POP login's PASS, then wiped
  // The connection in progress is the SMTP one, or the POP login of this
  // run is done; stays true after a completed send.
  bool smtpPhase_ = false;
  QElapsedTimer popLoginAge_;  // since the last POP login of a send
  bool popTest_ = false;  // the POP login in progress is only the settings window's test
  QTimer replyTimer_;  // the time limit of the reply now awaited
  QTimer sendTimer_;   // the time limit of the whole send
  bool busy_ = false;
  Stage stage_ = Stage::Idle;
  bool handling_ = false;  // a handler runs (a box of the window's may be on the screen)
};
