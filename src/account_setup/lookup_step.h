#pragma once

#include <QMetaType>
#include <QString>

// How one step of the lookup from a mail address ended, for the list the
// dialog shows as it goes.
struct LookupStepReport {
  enum class Step { ProviderTable, AutoconfigHost, WellKnown, DnsSrv };
  enum class Outcome {
    Found,         // usable settings: the lookup ends with them
    NothingThere,  // no answer for this domain (no server, no record, 404)
    Refused,       // an answer came and was refused; detail says why
    Failed,        // no answer could be had (certificate, connection); detail
    TimedOut,      // no answer within the step's time
  };

  Step step = Step::ProviderTable;
  Outcome outcome = Outcome::NothingThere;
  QString asked;   // the file, the address or the record asked
  QString detail;  // why, in words for the user (empty for Found and NothingThere)
};
Q_DECLARE_METATYPE(LookupStepReport)
