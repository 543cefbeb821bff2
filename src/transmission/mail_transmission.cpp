#include "mail_transmission.h"

#include "ansi_code_page.h"
#include "mail_settings.h"
#include "mail_text.h"
#include "message_box.h"
#include "plain_text.h"
#include "socket_control.h"
#include "transcript.h"
#include "transmission_texts.h"
#include "write_log.h"
#include "wsa_error_numbers.h"

#include <QScopedValueRollback>

#include <initializer_list>
#include <utility>

using namespace TransmissionTexts;

namespace {

QString socketErrorText(std::int16_t number, const QString& description) {
  switch (number) {
    case TlsError::kHandshakeFailed: return kTlsHandshakeFailed + kCrLf + description;
    case TlsError::kCertificateRejected: return kCertificateRejected + kCrLf + description;
    case 10049: return kAddressNotAvailable;
    case 10060: return kTimedOut;
    case 10061: return kRefused;
    case 11001: return kHostNotFound;
    case 11004: return kNoDataRecord;
    default: return kOtherSocketError;
  }
}

// False, after a box that names the setting, when a value that goes into a
// command line holds a control character (a Data.ini edited by hand): a
// line break would add a command of its own.
bool fitsCommandLines(std::initializer_list<std::pair<QString, QString>> captionsAndValues) {
  for (const auto& [caption, value] : captionsAndValues) {
    if (!MailText::HoldsControlCharacter(value)) continue;
    MessageBox::MsgBox(kControlCharacterInSetting + kCrLf + QStringLiteral("（") + caption + QStringLiteral("）"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
    return false;
  }
  return true;
}

// The most a whole send may take, however the server answers: ten waits
// of SmtpTimeout, or the sum of RFC 5321's limits (4.5.3.2: 5 + 5 + 5 + 2
// + 3 + 10 minutes).
int wholeSendSeconds(const MailSettings& settings) {
  return settings.replyTimeoutSeconds > 0 ? 10 * settings.replyTimeoutSeconds : 30 * 60;
}

}  // namespace

MailTransmission::MailTransmission(SocketControl& socket, const MailSettings& running, QObject* parent)
    : QObject(parent), socket_(socket), running_(running), server_(socket) {
  connect(&socket_, &SocketControl::dataArrivalEvent, this, &MailTransmission::Winsock_DataArrival);
  connect(&socket_, &SocketControl::closeEvent, this, &MailTransmission::Winsock_Close);
  connect(&socket_, &SocketControl::errorEvent, this, &MailTransmission::Winsock_Error);
  connect(&socket_, &SocketControl::tlsReadyEvent, this, &MailTransmission::Winsock_TlsReady);
  replyTimer_.setSingleShot(true);
  connect(&replyTimer_, &QTimer::timeout, this, [this] { onNoAnswer(false); });
  sendTimer_.setSingleShot(true);
  connect(&sendTimer_, &QTimer::timeout, this, [this] { onNoAnswer(true); });
}

// Every wait for a reply has a limit: SmtpTimeout when it is set, else RFC
// 5321's (4.5.3.2): 2 minutes for the go-ahead after DATA, 10 for the end
// of the data, 5 for every other reply (POP's too).
void MailTransmission::settle(bool newWait) {
  const bool open = server_.isOpen();
  if (!open) {
    replyTimer_.stop();
    sendTimer_.stop();
  } else if (newWait || !replyTimer_.isActive()) {
    int seconds = running_.replyTimeoutSeconds;
    if (seconds <= 0) {
      seconds = 5 * 60;
      if (smtp_.state() == SmtpDialogue::State::AwaitDataGoAhead) seconds = 2 * 60;
      if (smtp_.state() == SmtpDialogue::State::AwaitDataAccepted) seconds = 10 * 60;
    }
    replyTimer_.start(seconds * 1000);
  }
  if (open != busy_) {
    busy_ = open;
    emit busyChanged(busy_);
  }
}

// The server has not answered in time, or the whole send took too long:
// the mail was not sent, unless it had already been accepted and only the
// answer to QUIT is missing.
void MailTransmission::onNoAnswer(bool wholeSendOver) {
  // Not while a handler runs (its box is on the screen): then later.
  if (handling_) {
    (wholeSendOver ? sendTimer_ : replyTimer_).start(1000);
    return;
  }
  const QScopedValueRollback<bool> handling(handling_, true);
  server_.close();
  if (mailAccepted()) {
    completeAfterAcceptance(QStringLiteral("no answer to QUIT"));
  } else if (popLogin_.state() == PopLogin::State::AwaitServerClose && !popTest_ && !wholeSendOver) {
    // The login is done; only the POP server's close is missing.
    connectToSmtp();
    restartDialogues();
    settle(true);
    return;
  } else {
    popTest_ = false;
    MessageBox::MsgBox(kNoAnswer + greetingMissingHint(), MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
  }
  restartDialogues();
  settle(false);
}

// A server on the port for TLS from the first byte waits for the client's
// handshake and never greets a plain connection.
QString MailTransmission::greetingMissingHint() const {
  constexpr std::uint16_t kSmtpsPort = 465;
  constexpr std::uint16_t kPop3sPort = 995;
  if (smtpPhase_ && smtp_.state() == SmtpDialogue::State::AwaitGreeting && running_.smtpPort == kSmtpsPort &&
      running_.smtpSecurity != MailSettings::SmtpSecurity::Ssl)
    return kCrLf + kCrLf + portExpectsTls(kSmtpsPort);
  if (!smtpPhase_ && popLogin_.state() == PopLogin::State::AwaitGreeting && running_.popPort == kPop3sPort &&
      running_.popSecurity != MailSettings::PopSecurity::Ssl)
    return kCrLf + kCrLf + portExpectsTls(kPop3sPort);
  return QString();
}

void MailTransmission::CmdMail_Click(const QString& typedRecipient, const QString& subject, const QString& body) {
  const QScopedValueRollback<bool> handling(handling_, true);
  // The addresses, without the blanks a paste brings along.
  const QString recipient = trimBlanks(typedRecipient);
  const QString from = trimBlanks(running_.from);
  if (recipient.isEmpty()) return;
  if (!MailText::IsValidAddress(recipient)) {
    MessageBox::MsgBox(kInvalidRecipient + kCrLf + recipient);
    return;
  }
  if (!MailText::IsValidAddress(from)) {
    MessageBox::MsgBox(kInvalidSender + kCrLf + from);
    return;
  }
  if (!fitsCommandLines({{kSmtpServerCaption, trimBlanks(running_.smtpServer)},
                         {kSmtpUserCaption, running_.smtpAuth ? running_.smtpUser : QString()},
                         {kPopServerCaption, running_.popBeforeSmtp ? trimBlanks(running_.popServer) : QString()},
                         {kPopUserCaption, running_.popBeforeSmtp ? running_.popUser : QString()}}))
    return;

  // Nothing goes out other than what the user sees: an address the code
  // page cannot hold is refused, and text that would lose characters asks.
  if (const QString lost = AnsiCodePage::unmappable(recipient); !lost.isEmpty()) {
    MessageBox::MsgBox(kRecipientUnmappable + lost + kCrLf + recipient);
    return;
  }
  if (const QString lost = AnsiCodePage::unmappable(from); !lost.isEmpty()) {
    MessageBox::MsgBox(kSenderUnmappable + lost + kCrLf + from);
    return;
  }
  // The MIME modes carry every character (ISO-2022-JP by going as UTF-8).
  if (running_.charset == MailSettings::Charset::ShiftJis) {
    if (const QString lost = AnsiCodePage::unmappable(subject + body); !lost.isEmpty()) {
      if (MessageBox::MsgBox(kTextUnmappable + kCrLf + lost + kCrLf + kCrLf + kSendAnyway, MessageBox::Buttons::YesNo,
                             MessageBox::Icon::Question, QString(), MessageBox::Answer::No) != MessageBox::Answer::Yes)
        return;
    }
  }

  // Confirmation.
  QString confirmation = kConfirmQuestion + kCrLf + kCrLf + kConfirmTo + recipient + kCrLf + kCrLf + kConfirmFrom +
                         from + kCrLf;
  if (running_.popBeforeSmtp) confirmation += kCrLf + kCrLf + kConfirmPopBeforeSmtp;
  if (MessageBox::MsgBox(confirmation, MessageBox::Buttons::OkCancel, MessageBox::Icon::Question, kConfirmTitle,
                         MessageBox::Answer::Ok) != MessageBox::Answer::Ok)
    return;

  // POP login first when POP before SMTP is on and not yet done in this
  // run, or done so long ago that the provider no longer honours it.
  const bool popLogin = running_.popBeforeSmtp && (!smtpPhase_ || popLoginAged());

  // The passwords this send logs in with, from where they are kept; a
  // keyring that does not give them stops the send before any connection.
  QString smtpPassword;
  if (running_.smtpAuth && !fetchPassword(PasswordStore::Which::Smtp, smtpPassword)) return;
  QString popPassword;
  if (popLogin && !fetchPassword(PasswordStore::Which::Pop, popPassword)) return;
  if (!fitsCommandLines({{kSmtpPasswordCaption, smtpPassword}, {kPopPasswordCaption, popPassword}})) {
    wipe(smtpPassword);
    wipe(popPassword);
    return;
  }

  // A send already under way is given up.
  if (server_.isOpen()) server_.close();
  restartDialogues();

  // The mail as confirmed: later edits and saved settings do not change it.
  mail_ = {recipient, from, MailText::SubjectWithoutLineBreaks(subject), body,
           {running_.smtpSecurity, running_.smtpAuth, running_.smtpUser, std::move(smtpPassword)}, running_.charset};

  if (popLogin) {
    smtpPhase_ = false;
    popPassword_ = std::move(popPassword);
    connectToPop();
  } else {
    smtpPhase_ = true;
    connectToSmtp();
  }
  sendTimer_.start(wholeSendSeconds(running_) * 1000);
  settle(true);  // a new connection, a new wait
}

bool MailTransmission::fetchPassword(PasswordStore::Which which, QString& password) {
  QString why;
  std::optional<QString> fetched = PasswordStore::fetch(running_, which, why);
  if (!fetched) {
    MessageBox::MsgBox(kKeyringUnavailable + kCrLf + kCrLf + quoted(why) + kCrLf + kCrLf + PasswordStore::kKeyringAdvice,
                       MessageBox::Buttons::Ok,
                       MessageBox::Icon::Exclamation);
    return false;
  }
  password = std::move(*fetched);
  return true;
}

void MailTransmission::StartPopTest(std::function<void()> onSucceeded) {
  if (!fitsCommandLines({{kPopServerCaption, trimBlanks(running_.popServer)}, {kPopUserCaption, running_.popUser}}))
    return;
  QString popPassword;
  if (!fetchPassword(PasswordStore::Which::Pop, popPassword)) return;
  if (!fitsCommandLines({{kPopPasswordCaption, popPassword}})) {
    wipe(popPassword);
    return;
  }
  popTest_ = true;
  smtpPhase_ = false;
  onPopTestSucceeded_ = std::move(onSucceeded);
  if (server_.isOpen()) server_.close();
  restartDialogues();
  popPassword_ = std::move(popPassword);
  connectToPop();
  sendTimer_.start(wholeSendSeconds(running_) * 1000);
  settle(true);
}

void MailTransmission::restartDialogues() {
  smtp_.restart();
  popLogin_.restart();
  wipe(popPassword_);
}

bool MailTransmission::popLoginAged() const {
  return popLoginAge_.isValid() && popLoginAge_.elapsed() >= qint64(running_.popIntervalMinutes) * 60 * 1000;
}

bool MailTransmission::smtpEncryptedFromStart() const {
  return mail_.login.security == MailSettings::SmtpSecurity::Ssl;
}

void MailTransmission::connectToSmtp() {
  if (smtpEncryptedFromStart())
    server_.connectTls(trimBlanks(running_.smtpServer), running_.smtpPort);
  else
    server_.connect(trimBlanks(running_.smtpServer), running_.smtpPort);
}

void MailTransmission::connectToPop() {
  if (running_.popSecurity == MailSettings::PopSecurity::Ssl)
    server_.connectTls(trimBlanks(running_.popServer), running_.popPort);
  else
    server_.connect(trimBlanks(running_.popServer), running_.popPort);
}

// ---------------------------------------------------------- socket events

// Routes each whole reply to the dialogue that is current.
void MailTransmission::Winsock_DataArrival() {
  const QScopedValueRollback<bool> handling(handling_, true);
  // The POP server's answer to QUIT is left unread.
  if (smtpPhase_ && popLogin_.state() == PopLogin::State::AwaitServerClose) return;
  if (!smtpPhase_ && !running_.popBeforeSmtp) return;
  QString reply;
  const ServerLink::Taken taken = server_.takeWholeReply(reply);
  if (taken == ServerLink::Taken::TooLong) {
    // A server flooding the connection is left; the mail went only if it
    // was accepted before.
    server_.close();
    if (mailAccepted()) {
      completeAfterAcceptance(QStringLiteral("answer to QUIT too long"));
      restartDialogues();
      settle(false);
      return;
    }
    popTest_ = false;
    restartDialogues();
    settle(false);
    MessageBox::MsgBox(kReplyTooLong, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
    return;
  }
  // Only a reply that moved the dialogue on (the program answered it)
  // starts a new wait: one the dialogue ignores buys the server no time.
  const quint64 issuedBefore = server_.commandsIssued();
  if (taken == ServerLink::Taken::Whole) {
    if (smtpPhase_)
      smtp_.step(SmtpReply(reply), mail_, smtpEncryptedFromStart());
    else
      mtPBSMTP(PopReply(reply));
  }
  settle(server_.commandsIssued() != issuedBefore);
}

void MailTransmission::mtPBSMTP(const PopReply& reply) {
  const bool stls = running_.popSecurity == MailSettings::PopSecurity::Stls;
  const PopLogin::Outcome outcome = popLogin_.step(reply, stls, running_.popUser, popPassword_);
  if (outcome != PopLogin::Outcome::Waiting) wipe(popPassword_);
  switch (outcome) {
    case PopLogin::Outcome::Waiting:
      return;
    case PopLogin::Outcome::Refused:
      smtpPhase_ = false;
      popTest_ = false;
      return;
    case PopLogin::Outcome::LoggedIn:
      smtpPhase_ = true;
      if (!popTest_) {
        popLoginAge_.start();
        return;  // the SMTP connection follows the POP server's close
      }
      // The settings window's test ends here, without going on to SMTP.
      MessageBox::MsgBox(kPopTestSucceeded, MessageBox::Buttons::Ok, MessageBox::Icon::None, kPopTestTitle);
      if (onPopTestSucceeded_) onPopTestSucceeded_();
      popTest_ = false;
      smtpPhase_ = false;
      restartDialogues();
      server_.close();
      return;
  }
}

// The server has closed the connection.
//
//  state               what the close means
//   Failed             an error reply was seen: show the server's text
//   AwaitServerClose   the POP login is done: connect to the SMTP server
//   AwaitQuit (SMTP)   the mail was accepted and QUIT sent: the send is complete
//   any other          during a POP test: the test ends without a result;
//                      otherwise the server gave up before the mail was
//                      accepted: show the server's last text, log nothing
void MailTransmission::Winsock_Close() {
  const QScopedValueRollback<bool> handling(handling_, true);
  server_.close();
  bool newConnection = false;

  // The server's last words; a server that said nothing is said to have
  // closed the connection, so that the box is never empty.
  const auto showError = [this] {
    MessageBox::MsgBox(kError + kCrLf + (lastReply_.isEmpty() ? kServerClosed : quoted(lastReply_)),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
  };

  if (smtp_.state() == SmtpDialogue::State::Failed) {
    showError();
  } else if (popLogin_.state() == PopLogin::State::AwaitServerClose) {
    if (!popTest_) {
      connectToSmtp();
      newConnection = true;
    }
  } else if (popTest_) {
    popTest_ = false;
  } else if (mailAccepted()) {
    completeSend();
  } else {
    showError();
  }

  restartDialogues();
  settle(newConnection);
}

bool MailTransmission::mailAccepted() const {
  return smtpPhase_ && !popTest_ && smtp_.state() == SmtpDialogue::State::AwaitQuit;
}

// The server took the mail with its 250 to the end of the data (RFC 5321
// 4.1.1.4): whatever happens to the connection after it, the mail was sent.
void MailTransmission::completeAfterAcceptance(const QString& what) {
  Transcript::note(QStringLiteral("mail accepted; ") + what + QStringLiteral(": the send counts as complete"));
  completeSend();
}

void MailTransmission::completeSend() {
  MailLog::LogResult log{true, QString(), QString()};
  if (running_.keepLog) log = MailLog::WriteLog(smtp_.mailText(), mail_.subject);
  smtp_.clearMailText();
  const auto answer = MessageBox::MsgBox(kSendCompleted + kCrLf + kCrLf + kClearQuestion,
                                         MessageBox::Buttons::YesNo, MessageBox::Icon::Question);
  if (answer == MessageBox::Answer::Yes) {
    if (clearSubjectBox) clearSubjectBox();
    mail_.subject.clear();
    if (clearBodyBox) clearBodyBox();
    mail_.body.clear();
  }
  // The record is never lost without a word.
  if (!log.written)
    MessageBox::MsgBox(kLogNotWritten + kCrLf + kCrLf + log.path + kCrLf + log.reason, MessageBox::Buttons::Ok,
                       MessageBox::Icon::Exclamation);
}

// The encryption that STARTTLS or STLS began is in place.
void MailTransmission::Winsock_TlsReady() {
  const QScopedValueRollback<bool> handling(handling_, true);
  if (smtpPhase_)
    smtp_.tlsReady(mail_);
  else
    popLogin_.tlsReady(running_.popUser);
  settle(true);
}

// A name lookup, connection, encryption or transfer failed.
void MailTransmission::Winsock_Error(std::int16_t number, const QString& description) {
  const QScopedValueRollback<bool> handling(handling_, true);
  if (mailAccepted()) {
    server_.close();
    completeAfterAcceptance(QStringLiteral("connection failed after QUIT (error ") + QString::number(number) +
                            QLatin1Char(')'));
    restartDialogues();
    settle(false);
    return;
  }
  MessageBox::MsgBox(socketErrorText(number, description) + kCrLf + kCrLf + kCheckServerHint + kCrLf + kServerStoppedHint +
                         kErrorCodeOpen + QString::number(number) + kErrorCodeClose,
                     MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, kSocketErrorTitle);
  server_.close();
  restartDialogues();
  popTest_ = false;
  settle(false);
}
