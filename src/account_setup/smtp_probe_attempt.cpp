#include "smtp_probe_attempt.h"

#include "plain_text.h"
#include "probe_advice.h"

using Step = ProbeStepReport::Step;
using Smtp = MailSettings::SmtpSecurity;
using SetupState = SmtpSessionSetup::State;

SmtpProbeAttempt::SmtpProbeAttempt(const ProbeSettings& settings, bool alternative, int stepTimeoutMs, QObject* parent)
    : QObject(parent), settings_(settings), alternative_(alternative), stepTimeoutMs_(stepTimeoutMs) {
  settings_.password.clear();  // kept only in the login, which wipes it once sent
  login_.security = settings.security;
  login_.auth = settings.auth;
  login_.user = settings.user;
  login_.password = settings.password;
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &SmtpProbeAttempt::onTimeout);
  connect(&socket_, &SocketControl::connected, this, &SmtpProbeAttempt::onConnected);
  connect(&socket_, &SocketControl::bytesArrived, this, &SmtpProbeAttempt::onBytesArrived);
  connect(&socket_, &SocketControl::tlsReady, this, &SmtpProbeAttempt::onTlsReady);
  connect(&socket_, &SocketControl::errorOccurred, this, &SmtpProbeAttempt::onError);
  connect(&socket_, &SocketControl::closedByPeer, this, &SmtpProbeAttempt::onClosedByPeer);
}

SmtpProbeAttempt::~SmtpProbeAttempt() {
  wipe(login_.password);
  socket_.close();
}

void SmtpProbeAttempt::start() {
  phase_ = Phase::Connecting;
  timer_.start(stepTimeoutMs_);
  if (settings_.security == Smtp::Ssl) link_.connectTls(settings_.server, settings_.port);
  else link_.connect(settings_.server, settings_.port);
}

void SmtpProbeAttempt::stop() {
  phase_ = Phase::Done;
  timer_.stop();
  wipe(login_.password);
  link_.close();
}

void SmtpProbeAttempt::tell(Step step, bool ok, const QString& text, const QString& serverText) {
  emit stepReported({step, ok, alternative_, settings_.label(), text, serverText});
}

Step SmtpProbeAttempt::currentStep() const {
  switch (phase_) {
    case Phase::Connecting: return settings_.security == Smtp::Ssl ? Step::Tls : Step::Connect;
    case Phase::AwaitGreeting: return Step::Greeting;
    case Phase::AwaitQuit: return Step::Quit;
    case Phase::Done: break;
    case Phase::Negotiating:
      switch (setup_.state()) {
        case SetupState::AwaitEhlo:
        case SetupState::AwaitEhloOverTls: return Step::Ehlo;
        case SetupState::AwaitStartTls: return Step::StartTls;
        case SetupState::AwaitHandshake: return Step::Tls;
        default: return Step::Auth;
      }
  }
  return Step::Connect;
}

void SmtpProbeAttempt::onConnected() {
  if (phase_ != Phase::Connecting) return;
  tell(Step::Connect, true, QStringLiteral("接続しました。"));
  if (settings_.security == Smtp::Ssl) tell(Step::Tls, true, QStringLiteral("暗号化（SSL/TLS）を始め、証明書を確認しました。"));
  phase_ = Phase::AwaitGreeting;
  timer_.start(stepTimeoutMs_);
}

void SmtpProbeAttempt::onBytesArrived() {
  if (phase_ == Phase::Done || phase_ == Phase::Connecting) return;
  QString text;
  switch (link_.takeWholeReply(text)) {
    case ServerLink::Taken::Partial: return;
    case ServerLink::Taken::TooLong:
      fail(ProbeAdvice::forSetupFailure(SendFailure(SendFailure::Kind::ReplyTooLong)));
      return;
    case ServerLink::Taken::Whole: onReply(text); return;
  }
}

void SmtpProbeAttempt::onReply(const QString& text) {
  timer_.start(stepTimeoutMs_);
  const SmtpReply reply(text);
  const QString said = text.trimmed();
  if (phase_ == Phase::AwaitGreeting) {
    if (reply.code() != u"220") {
      Ending ending = ProbeAdvice::forSetupFailure(SendFailure(SendFailure::Kind::SmtpRefused));
      ending.step = Step::Greeting;
      ending.detail = QStringLiteral("サーバが接続を受け付けませんでした。");
      ending.serverText = said;
      fail(ending);
      return;
    }
    tell(Step::Greeting, true, QStringLiteral("サーバの挨拶を受け取りました。"), said);
    phase_ = Phase::Negotiating;
    setup_.begin(settings_.security == Smtp::Ssl);
    return;
  }
  if (phase_ == Phase::AwaitQuit) {
    tell(Step::Quit, true, QStringLiteral("接続を終えました（メールは送っていません）。"), said);
    succeed();
    return;
  }
  onNegotiationReply(reply);
}

void SmtpProbeAttempt::onNegotiationReply(const SmtpReply& reply) {
  const SetupState before = setup_.state();
  const QString said = reply.text().trimmed();
  const SmtpSessionSetup::Outcome outcome = setup_.step(reply, login_);
  if (outcome == SmtpSessionSetup::Outcome::Stopped) {
    // The set-up closed the connection and reported why (report()).
    fail(ProbeAdvice::forSetupFailure(failure_.value_or(SendFailure(SendFailure::Kind::ClosedEarly))));
    return;
  }
  if (before == SetupState::AwaitEhlo || before == SetupState::AwaitEhloOverTls)
    tell(Step::Ehlo, true, QStringLiteral("EHLO が受け付けられました。"), said);
  else if (before == SetupState::AwaitStartTls)
    tell(Step::StartTls, true, QStringLiteral("STARTTLS が受け付けられました。"), said);
  if (outcome != SmtpSessionSetup::Outcome::Ready) return;
  if (login_.auth) tell(Step::Auth, true, QStringLiteral("SMTP 認証に成功しました。"), said);
  sendQuit();
}

void SmtpProbeAttempt::sendQuit() {
  phase_ = Phase::AwaitQuit;
  timer_.start(stepTimeoutMs_);
  link_.sendLine(QStringLiteral("QUIT"));
}

void SmtpProbeAttempt::onTlsReady() {
  if (phase_ != Phase::Negotiating) return;
  timer_.start(stepTimeoutMs_);
  tell(Step::Tls, true, QStringLiteral("暗号化（STARTTLS）を始め、証明書を確認しました。"));
  setup_.tlsReady();
}

void SmtpProbeAttempt::report(const SendFailure& failure) { failure_ = failure; }

void SmtpProbeAttempt::onError(std::int16_t number, const QString& description) {
  if (phase_ == Phase::Done) return;
  if (phase_ == Phase::AwaitQuit) {
    succeed();  // everything a send needs had been answered
    return;
  }
  fail(ProbeAdvice::forSocketError(currentStep(), number, description));
}

void SmtpProbeAttempt::onClosedByPeer() {
  if (phase_ == Phase::Done) return;
  if (phase_ == Phase::AwaitQuit) {
    tell(Step::Quit, true, QStringLiteral("接続を終えました（メールは送っていません）。"));
    succeed();
    return;
  }
  Ending ending = ProbeAdvice::forSetupFailure(SendFailure(SendFailure::Kind::ClosedEarly));
  ending.step = currentStep();
  ending.detail = QStringLiteral("サーバが接続を切りました。");
  // Closed before it said anything: often a port that wants TLS from the start.
  ending.tryOtherPairs = phase_ == Phase::AwaitGreeting || ending.step == Step::Tls;
  fail(ending);
}

void SmtpProbeAttempt::onTimeout() {
  if (phase_ == Phase::Done) return;
  if (phase_ == Phase::AwaitQuit) {
    succeed();
    return;
  }
  fail(ProbeAdvice::forSilence(currentStep(), settings_.security));
}

void SmtpProbeAttempt::fail(Ending ending) {
  if (phase_ == Phase::Done) return;
  phase_ = Phase::Done;
  timer_.stop();
  wipe(login_.password);
  link_.close();
  tell(ending.step, false, ending.detail, ending.serverText);
  emit finished(ending);
}

void SmtpProbeAttempt::succeed() {
  if (phase_ == Phase::Done) return;
  phase_ = Phase::Done;
  timer_.stop();
  link_.close();
  Ending ending;
  ending.ready = true;
  ending.step = Step::Quit;
  emit finished(ending);
}
