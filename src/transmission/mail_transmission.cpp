#include "mail_transmission.h"

#include "cp932.h"
#include "mail_settings.h"
#include "mail_text.h"
#include "plain_text.h"
#include "socket_control.h"
#include "transcript.h"
#include "write_log.h"
#include "connection_errors.h"

#include <QScopedValueRollback>

#include <initializer_list>
#include <optional>
#include <utility>

using Kind = SendFailure::Kind;
using Setting = SendFailure::Setting;

namespace {

// The first of the values that go into command lines holding a control
// character (a Data.ini edited by hand): a line break would add a command
// of its own.
Setting firstWithControlCharacter(std::initializer_list<std::pair<Setting, QString>> settingsAndValues) {
  for (const auto& [setting, value] : settingsAndValues)
    if (MailText::holdsControlCharacter(value)) return setting;
  return Setting::None;
}

// The most a whole send may take, however the server answers: ten waits
// of SmtpTimeout, or the sum of RFC 5321's limits (4.5.3.2: 5 + 5 + 5 + 2
// + 3 + 10 minutes).
int wholeSendSeconds(const MailSettings& settings) {
  return settings.replyTimeoutSeconds > 0 ? 10 * settings.replyTimeoutSeconds : 30 * 60;
}

}  // namespace

MailTransmission::MailTransmission(SocketControl& socket, QObject* parent)
    : QObject(parent), socket_(socket), server_(socket) {
  connect(&socket_, &SocketControl::bytesArrived, this, &MailTransmission::onBytesArrived);
  connect(&socket_, &SocketControl::closedByPeer, this, &MailTransmission::onServerClosed);
  connect(&socket_, &SocketControl::errorOccurred, this, &MailTransmission::onSocketError);
  connect(&socket_, &SocketControl::tlsReady, this, &MailTransmission::onTlsReady);
  connect(&socket_, &SocketControl::connected, this, &MailTransmission::showStage);
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
    int seconds = settings_.replyTimeoutSeconds;
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
  showStage();
}

void MailTransmission::showStage() {
  const Stage stage = currentStage();
  if (stage == stage_) return;
  stage_ = stage;
  const bool pop = !smtpPhase_ || popTest_;
  emit stageChanged(stage, trimBlanks(pop ? settings_.popServer : settings_.smtpServer),
                    pop ? settings_.popPort : settings_.smtpPort);
}

MailTransmission::Stage MailTransmission::currentStage() const {
  if (!server_.isOpen()) return Stage::Idle;
  if (socket_.state() != SocketControl::State::Connected) return Stage::Connecting;
  if (!smtpPhase_ || popTest_) return Stage::PopLogin;
  return smtpStage();
}

MailTransmission::Stage MailTransmission::smtpStage() const {
  using Smtp = SmtpDialogue::State;
  using Setup = SmtpSessionSetup::State;
  switch (smtp_.state()) {
    case Smtp::AwaitGreeting:
    case Smtp::AwaitRset:
    case Smtp::AwaitHelo:
      return Stage::Connecting;
    case Smtp::Negotiating:
      switch (smtp_.setupState()) {
        case Setup::AwaitEhlo:
        case Setup::AwaitEhloOverTls:
          return Stage::Connecting;
        case Setup::AwaitStartTls:
        case Setup::AwaitHandshake:
          return Stage::Encrypting;
        default:
          return Stage::Authenticating;
      }
    default:
      return Stage::Sending;
  }
}

bool MailTransmission::quitAllowed() const {
  if (!smtpPhase_ || popTest_ || socket_.state() != SocketControl::State::Connected) return false;
  using Smtp = SmtpDialogue::State;
  using Setup = SmtpSessionSetup::State;
  switch (smtp_.state()) {
    case Smtp::AwaitRset:
    case Smtp::AwaitHelo:
    case Smtp::AwaitMailFrom:
    case Smtp::AwaitRcptTo:
      return true;
    case Smtp::Negotiating:
      return smtp_.setupState() == Setup::AwaitEhlo || smtp_.setupState() == Setup::AwaitEhloOverTls;
    default:
      return false;
  }
}

void MailTransmission::cancel() {
  if (!server_.isOpen()) return;
  const QScopedValueRollback<bool> handling(handling_, true);
  if (mailAccepted()) {
    server_.close();
    completeAfterAcceptance(QStringLiteral("stopped by the user"));
  } else {
    if (quitAllowed()) server_.sendLine(QStringLiteral("QUIT"));
    Transcript::note(QStringLiteral("stopped by the user: the mail was not sent"));
    // A POP login left half done is done again by the next send.
    server_.close();
    popTest_ = false;
  }
  restartDialogues();
  settle(false);
}

// The server has not answered in time, or the whole send took too long:
// the mail was not sent, unless it had already been accepted and only the
// answer to QUIT is missing.
void MailTransmission::onNoAnswer(bool wholeSendOver) {
  // Not while a handler runs (a box the window shows from it may be on the
  // screen): then later.
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
    SendFailure failure{Kind::NoAnswer};
    failure.tlsPort = greetingMissingOnTlsPort();
    report(failure);
  }
  restartDialogues();
  settle(false);
}

// A server on the port for TLS from the first byte waits for the client's
// handshake and never greets a plain connection.
std::uint16_t MailTransmission::greetingMissingOnTlsPort() const {
  constexpr std::uint16_t kSmtpsPort = 465;
  constexpr std::uint16_t kPop3sPort = 995;
  if (smtpPhase_ && smtp_.state() == SmtpDialogue::State::AwaitGreeting && settings_.smtpPort == kSmtpsPort &&
      settings_.smtpSecurity != MailSettings::SmtpSecurity::Ssl)
    return kSmtpsPort;
  if (!smtpPhase_ && popLogin_.state() == PopLogin::State::AwaitGreeting && settings_.popPort == kPop3sPort &&
      settings_.popSecurity != MailSettings::PopSecurity::Ssl)
    return kPop3sPort;
  return 0;
}

void MailTransmission::report(const SendFailure& failure) { emit failed(failure); }

void MailTransmission::reportSettingWithControlCharacter(Setting setting) {
  SendFailure failure{Kind::ControlCharacterInSetting};
  failure.setting = setting;
  report(failure);
}

SendCheck MailTransmission::check(const MailSettings& settings, const QString& typedRecipient,
                                  const QString& subject, const QString& body) {
  SendCheck found;
  // The addresses, without the blanks a paste brings along.
  found.recipient = trimBlanks(typedRecipient);
  found.from = trimBlanks(settings.from);
  const auto problem = [&found](SendCheck::Problem problem, const QString& lost = QString()) {
    found.problem = problem;
    found.lost = lost;
    return found;
  };
  if (found.recipient.isEmpty()) return problem(SendCheck::Problem::NoRecipient);
  if (!MailText::isValidAddress(found.recipient)) return problem(SendCheck::Problem::InvalidRecipient);
  if (!MailText::isValidAddress(found.from)) return problem(SendCheck::Problem::InvalidSender);
  found.setting = firstWithControlCharacter(
      {{Setting::SmtpServer, trimBlanks(settings.smtpServer)},
       {Setting::SmtpUser, settings.smtpAuth ? settings.smtpUser : QString()},
       {Setting::PopServer, settings.popBeforeSmtp ? trimBlanks(settings.popServer) : QString()},
       {Setting::PopUser, settings.popBeforeSmtp ? settings.popUser : QString()}});
  if (found.setting != Setting::None) return problem(SendCheck::Problem::ControlCharacterInSetting);

  // Nothing goes out other than what the user sees: an address the code
  // page cannot hold is refused, and text that would lose characters asks.
  if (const QString lost = Cp932::unmappable(found.recipient); !lost.isEmpty())
    return problem(SendCheck::Problem::RecipientUnmappable, lost);
  if (const QString lost = Cp932::unmappable(found.from); !lost.isEmpty())
    return problem(SendCheck::Problem::SenderUnmappable, lost);
  // The MIME modes carry every character (ISO-2022-JP by going as UTF-8).
  if (settings.charset == MailSettings::Charset::ShiftJis)
    if (const QString lost = Cp932::unmappable(subject + body); !lost.isEmpty())
      return problem(SendCheck::Problem::TextUnmappable, lost);
  return found;
}

bool MailTransmission::usesTls(const MailSettings& settings) {
  return settings.smtpSecurity != MailSettings::SmtpSecurity::None ||
         (settings.popBeforeSmtp && settings.popSecurity != MailSettings::PopSecurity::None);
}

// POP login first when POP before SMTP is on and not yet done in this run,
// or done so long ago that the provider no longer honours it.
bool MailTransmission::logsInToPopFirst(const MailSettings& settings) const {
  const bool aged =
      popLoginAge_.isValid() && popLoginAge_.elapsed() >= qint64(settings.popIntervalMinutes) * 60 * 1000;
  return settings.popBeforeSmtp && (!smtpPhase_ || aged);
}

// A password from the keyring or a Data.ini edited by hand holding a line
// break would add a command of its own: no connection (one under way goes on).
bool MailTransmission::passwordsSendable(LoginSecrets& secrets) {
  const Setting setting = firstWithControlCharacter(
      {{Setting::SmtpPassword, secrets.smtpPassword}, {Setting::PopPassword, secrets.popPassword.value_or(QString())}});
  if (setting == Setting::None) return true;
  secrets.wipe();
  reportSettingWithControlCharacter(setting);
  return false;
}

void MailTransmission::send(const MailSettings& settings, LoginSecrets secrets, const MailLog::LogPlace& log,
                            const QString& typedRecipient, const QString& subject, const QString& body) {
  const QScopedValueRollback<bool> handling(handling_, true);
  if (!passwordsSendable(secrets)) return;

  // A send already under way is given up.
  if (server_.isOpen()) server_.close();
  restartDialogues();
  settings_ = settings;
  logPlace_ = log;

  // The mail as confirmed: later edits and saved settings do not change it.
  mail_ = {trimBlanks(typedRecipient), trimBlanks(settings_.from), MailText::subjectWithoutLineBreaks(subject), body,
           {settings_.smtpSecurity, settings_.smtpAuth, settings_.smtpUser, std::move(secrets.smtpPassword)},
           settings_.charset};

  if (secrets.popPassword) {
    smtpPhase_ = false;
    popPassword_ = std::move(*secrets.popPassword);
    connectToPop();
  } else {
    smtpPhase_ = true;
    connectToSmtp();
  }
  sendTimer_.start(wholeSendSeconds(settings_) * 1000);
  settle(true);  // a new connection, a new wait
}

std::optional<SendFailure> MailTransmission::checkPopTest(const MailSettings& settings) {
  const Setting setting = firstWithControlCharacter(
      {{Setting::PopServer, trimBlanks(settings.popServer)}, {Setting::PopUser, settings.popUser}});
  if (setting == Setting::None) return std::nullopt;
  SendFailure failure{Kind::ControlCharacterInSetting};
  failure.setting = setting;
  return failure;
}

void MailTransmission::testPopLogin(const MailSettings& settings, QString popPassword) {
  const QScopedValueRollback<bool> handling(handling_, true);
  LoginSecrets secrets{QString(), std::move(popPassword)};
  if (const std::optional<SendFailure> refused = checkPopTest(settings)) {
    secrets.wipe();
    report(*refused);
    return;
  }
  if (!passwordsSendable(secrets)) return;
  popTest_ = true;
  smtpPhase_ = false;
  if (server_.isOpen()) server_.close();
  restartDialogues();
  settings_ = settings;
  popPassword_ = std::move(*secrets.popPassword);
  connectToPop();
  sendTimer_.start(wholeSendSeconds(settings_) * 1000);
  settle(true);
}

void MailTransmission::restartDialogues() {
  smtp_.restart();
  popLogin_.restart();
  wipe(popPassword_);
}

bool MailTransmission::smtpEncryptedFromStart() const {
  return mail_.login.security == MailSettings::SmtpSecurity::Ssl;
}

// Each connection starts with no server text: a box never quotes a reply
// from an earlier connection (the 221 of the last send, say).
void MailTransmission::connectToSmtp() {
  lastReply_.clear();
  if (smtpEncryptedFromStart())
    server_.connectTls(trimBlanks(settings_.smtpServer), settings_.smtpPort);
  else
    server_.connect(trimBlanks(settings_.smtpServer), settings_.smtpPort);
}

void MailTransmission::connectToPop() {
  lastReply_.clear();
  if (settings_.popSecurity == MailSettings::PopSecurity::Ssl)
    server_.connectTls(trimBlanks(settings_.popServer), settings_.popPort);
  else
    server_.connect(trimBlanks(settings_.popServer), settings_.popPort);
}

// ---------------------------------------------------------- socket events

// Routes each whole reply to the dialogue that is current.
void MailTransmission::onBytesArrived() {
  const QScopedValueRollback<bool> handling(handling_, true);
  // The POP server's answer to QUIT is left unread.
  if (smtpPhase_ && popLogin_.state() == PopLogin::State::AwaitServerClose) return;
  if (!smtpPhase_ && !settings_.popBeforeSmtp) return;
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
    report(SendFailure{Kind::ReplyTooLong});
    return;
  }
  // Only a reply that moved the dialogue on (the program answered it)
  // starts a new wait: one the dialogue ignores buys the server no time.
  const quint64 issuedBefore = server_.commandsIssued();
  if (taken == ServerLink::Taken::Whole) {
    if (smtpPhase_)
      smtp_.step(SmtpReply(reply), mail_, smtpEncryptedFromStart());
    else
      stepPopLogin(PopReply(reply));
  }
  settle(server_.commandsIssued() != issuedBefore);
}

void MailTransmission::stepPopLogin(const PopReply& reply) {
  const bool stls = settings_.popSecurity == MailSettings::PopSecurity::Stls;
  const PopLogin::Outcome outcome = popLogin_.step(reply, stls, settings_.popUser, popPassword_);
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
      emit popTestSucceeded();
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
//   AwaitServerClose   the POP login is done: connect to the SMTP server
//   AwaitQuit (SMTP)   the mail was accepted and QUIT sent: the send is complete
//   any other          during a POP test: the test ends without a result;
//                      otherwise the server gave up before the mail was
//                      accepted: report the server's last text, log nothing
void MailTransmission::onServerClosed() {
  const QScopedValueRollback<bool> handling(handling_, true);
  server_.close();
  bool newConnection = false;

  // The server's last words (none when it said nothing).
  const auto reportClosedEarly = [this] {
    SendFailure failure{Kind::ClosedEarly};
    failure.serverText = lastReply_;
    report(failure);
  };

  if (popLogin_.state() == PopLogin::State::AwaitServerClose) {
    if (!popTest_) {
      connectToSmtp();
      newConnection = true;
    }
  } else if (popTest_) {
    popTest_ = false;
  } else if (mailAccepted()) {
    completeSend();
  } else {
    reportClosedEarly();
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
  if (settings_.keepLog) log = MailLog::writeLog(logPlace_, smtp_.mailText(), mail_.subject);
  smtp_.clearMailText();
  emit sent(log);
}

// The encryption that STARTTLS or STLS began is in place.
void MailTransmission::onTlsReady() {
  const QScopedValueRollback<bool> handling(handling_, true);
  if (smtpPhase_)
    smtp_.tlsReady(mail_);
  else
    popLogin_.tlsReady(settings_.popUser);
  settle(true);
}

// A name lookup, connection, encryption or transfer failed.
void MailTransmission::onSocketError(std::int16_t number, const QString& description) {
  const QScopedValueRollback<bool> handling(handling_, true);
  if (mailAccepted()) {
    server_.close();
    completeAfterAcceptance(QStringLiteral("connection failed after QUIT (error ") + QString::number(number) +
                            QLatin1Char(')'));
    restartDialogues();
    settle(false);
    return;
  }
  SendFailure failure{Kind::SocketError};
  failure.socketError = number;
  failure.detail = description;
  report(failure);
  server_.close();
  restartDialogues();
  popTest_ = false;
  settle(false);
}
