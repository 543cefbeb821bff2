#pragma once

#include "probe_report.h"
#include "smtp_probe_attempt.h"

#include <QList>
#include <QObject>
#include <QTimer>

// The connection test of the settings dialog and of talvenor-send --check:
// with the given (unsaved) settings it connects, starts TLS as chosen,
// sends EHLO, logs in with SMTP AUTH when on, and says QUIT; no mail is
// sent and nothing is written to mailLOG. Each step is reported as it goes
// (stepReported), and the test ends with finished(): 「この設定で送信できます。」,
// or the failing step, the server's own words and what to change.
//
// When the chosen pair fails at the connection or the encryption, the
// usual other pairs (465 SSL/TLS, 587 STARTTLS, 25 STARTTLS, 25 without
// encryption) are tried side by side, within kAlternativesTimeoutMs in
// all, and the first of them in that order that works is offered. A
// password never goes over an unencrypted connection (the sending's own
// SMTP set-up decides), and every connection is new: nothing of an earlier
// one plays a part.
//
// cancel() or destroying the probe closes every connection at once. Delete
// it from one of its own signals only with deleteLater().
class ConnectionProbe : public QObject {
  Q_OBJECT

 public:
  static constexpr int kStepTimeoutMs = 10000;
  static constexpr int kAlternativesTimeoutMs = 15000;

  explicit ConnectionProbe(QObject* parent = nullptr);
  ~ConnectionProbe() override;

  void start(const ProbeSettings& settings);
  void cancel();
  bool isRunning() const { return main_ || !alternatives_.isEmpty(); }

  static QString worksText() { return QStringLiteral("この設定で送信できます。"); }

 signals:
  void stepReported(const ProbeStepReport& report);
  void finished(const ProbeResult& result);

 private:
  void onMainFinished(const SmtpProbeAttempt::Ending& ending);
  void tryAlternatives();
  void onAlternativeFinished(SmtpProbeAttempt* attempt, const SmtpProbeAttempt::Ending& ending);
  void decide(bool deadlinePassed);
  void end();
  void drop(SmtpProbeAttempt* attempt);

  ProbeSettings chosen_;
  SmtpProbeAttempt* main_ = nullptr;
  // In the order they are offered; an entry's ending once it finished.
  struct Alternative {
    SmtpProbeAttempt* attempt = nullptr;
    ProbeSettings settings;
    std::optional<SmtpProbeAttempt::Ending> ending;
  };
  QList<Alternative> alternatives_;
  ProbeResult result_;
  QTimer alternativesDeadline_;
};
