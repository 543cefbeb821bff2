#include "connection_probe.h"

#include "plain_text.h"

using Smtp = MailSettings::SmtpSecurity;

namespace {

// The usual pairs, in the order one that works is offered.
const QList<std::pair<std::uint16_t, Smtp>> kUsualPairs = {
    {465, Smtp::Ssl}, {587, Smtp::StartTls}, {25, Smtp::StartTls}, {25, Smtp::None}};

}  // namespace

ConnectionProbe::ConnectionProbe(QObject* parent) : QObject(parent) {
  alternativesDeadline_.setSingleShot(true);
  connect(&alternativesDeadline_, &QTimer::timeout, this, [this] { decide(true); });
}

ConnectionProbe::~ConnectionProbe() {
  cancel();
  wipe(chosen_.password);
}

void ConnectionProbe::start(const ProbeSettings& settings) {
  cancel();
  chosen_ = settings;
  result_ = ProbeResult();
  main_ = new SmtpProbeAttempt(settings, false, kStepTimeoutMs, this);
  connect(main_, &SmtpProbeAttempt::stepReported, this, &ConnectionProbe::stepReported);
  connect(main_, &SmtpProbeAttempt::finished, this, &ConnectionProbe::onMainFinished);
  main_->start();
}

void ConnectionProbe::cancel() {
  alternativesDeadline_.stop();
  if (main_) drop(std::exchange(main_, nullptr));
  for (Alternative& alternative : alternatives_)
    if (alternative.attempt) drop(alternative.attempt);
  alternatives_.clear();
}

// The attempt's connection closes now; the object goes from the event
// loop, as one of its functions may be on the stack.
void ConnectionProbe::drop(SmtpProbeAttempt* attempt) {
  attempt->disconnect(this);
  attempt->stop();
  attempt->deleteLater();
}

void ConnectionProbe::onMainFinished(const SmtpProbeAttempt::Ending& ending) {
  drop(std::exchange(main_, nullptr));
  result_.works = ending.ready;
  if (ending.ready) {
    result_.summary = worksText();
    end();
    return;
  }
  result_.failedStep = ending.step;
  result_.serverText = ending.serverText;
  result_.advice = ending.advice;
  result_.summary = ending.detail;
  if (ending.tryOtherPairs) tryAlternatives();
  else end();
}

void ConnectionProbe::tryAlternatives() {
  for (const auto& [port, security] : kUsualPairs) {
    if (port == chosen_.port && security == chosen_.security) continue;
    ProbeSettings settings = chosen_;
    settings.port = port;
    settings.security = security;
    auto* attempt = new SmtpProbeAttempt(settings, true, kAlternativesTimeoutMs, this);
    settings.password.clear();
    alternatives_.append({attempt, settings, std::nullopt});
    connect(attempt, &SmtpProbeAttempt::stepReported, this, &ConnectionProbe::stepReported);
    connect(attempt, &SmtpProbeAttempt::finished, this,
            [this, attempt](const SmtpProbeAttempt::Ending& ending) { onAlternativeFinished(attempt, ending); });
  }
  alternativesDeadline_.start(kAlternativesTimeoutMs);
  // Started once all are listed: an attempt that fails at once finds the list whole.
  for (const Alternative& alternative : std::as_const(alternatives_)) alternative.attempt->start();
}

void ConnectionProbe::onAlternativeFinished(SmtpProbeAttempt* attempt, const SmtpProbeAttempt::Ending& ending) {
  for (Alternative& alternative : alternatives_) {
    if (alternative.attempt != attempt) continue;
    alternative.ending = ending;
    alternative.attempt = nullptr;
    drop(attempt);
  }
  decide(false);
}

// The first pair in the usual order that worked, once every pair before it
// has failed; at the deadline, whatever worked by then.
void ConnectionProbe::decide(bool deadlinePassed) {
  const Alternative* offered = nullptr;
  for (const Alternative& alternative : std::as_const(alternatives_)) {
    if (!alternative.ending) {
      if (!deadlinePassed) return;
      continue;
    }
    if (alternative.ending->ready) {
      offered = &alternative;
      break;
    }
  }
  if (offered) {
    result_.alternative = offered->settings;
    result_.advice = QStringLiteral("%1 なら送信できます。この設定に切り替えてください。").arg(offered->settings.label());
  }
  end();
}

void ConnectionProbe::end() {
  const ProbeResult result = result_;
  cancel();
  wipe(chosen_.password);
  emit finished(result);
}
