#pragma once

#include "outgoing_mail.h"
#include "probe_report.h"
#include "send_outcome.h"
#include "server_link.h"
#include "smtp_session_setup.h"
#include "tcp_socket_control.h"

#include <QObject>
#include <QTimer>

// One connection of a connection test, on a socket of its own: connect,
// TLS as chosen, the greeting, EHLO (STARTTLS and EHLO again), AUTH when
// on, then QUIT; never MAIL FROM. The set-up between the greeting and
// MAIL FROM is the sending's own (SmtpSessionSetup), so the test takes the
// same path a send does and never sends a password unencrypted. Every wait
// is bounded to stepTimeoutMs. Ends with finished() once.
class SmtpProbeAttempt : public QObject, private SendFailureSink {
  Q_OBJECT

 public:
  struct Ending {
    bool ready = false;  // everything answered as a send needs
    ProbeStepReport::Step step = ProbeStepReport::Step::Connect;  // where it failed
    QString serverText;
    QString detail;       // why, in words for the user
    QString advice;       // what to change
    // Failed at the connection or the encryption: another port and
    // encryption may work.
    bool tryOtherPairs = false;
  };

  SmtpProbeAttempt(const ProbeSettings& settings, bool alternative, int stepTimeoutMs, QObject* parent = nullptr);
  ~SmtpProbeAttempt() override;

  void start();
  // Closes the connection at once and says nothing more.
  void stop();
  const ProbeSettings& settings() const { return settings_; }

 signals:
  void stepReported(const ProbeStepReport& report);
  void finished(const SmtpProbeAttempt::Ending& ending);

 private:
  enum class Phase { Connecting, AwaitGreeting, Negotiating, AwaitQuit, Done };

  void report(const SendFailure& failure) override;
  void onConnected();
  void onBytesArrived();
  void onReply(const QString& text);
  void onNegotiationReply(const SmtpReply& reply);
  void onTlsReady();
  void onError(std::int16_t number, const QString& description);
  void onClosedByPeer();
  void onTimeout();
  void sendQuit();
  void tell(ProbeStepReport::Step step, bool ok, const QString& text, const QString& serverText = QString());
  void fail(Ending ending);
  void succeed();
  ProbeStepReport::Step currentStep() const;

  ProbeSettings settings_;
  bool alternative_;
  int stepTimeoutMs_;
  SmtpLogin login_;
  TcpSocketControl socket_;
  ServerLink link_{socket_};
  SmtpSessionSetup setup_{link_, *this};
  QTimer timer_;
  Phase phase_ = Phase::Connecting;
  std::optional<SendFailure> failure_;  // what the set-up reported
};

Q_DECLARE_METATYPE(SmtpProbeAttempt::Ending)
