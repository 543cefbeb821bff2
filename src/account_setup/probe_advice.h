#pragma once

#include "smtp_probe_attempt.h"

// What a failure of the SMTP set-up means for the user: the step it
// belongs to, in words, and what to change.
namespace ProbeAdvice {

SmtpProbeAttempt::Ending forSetupFailure(const SendFailure& failure);
// The connection or its TLS failed (a Windows Sockets or TlsError number).
SmtpProbeAttempt::Ending forSocketError(ProbeStepReport::Step step, std::int16_t number, const QString& description);
// No answer within the step's time.
SmtpProbeAttempt::Ending forSilence(ProbeStepReport::Step step, MailSettings::SmtpSecurity security);

}  // namespace ProbeAdvice
