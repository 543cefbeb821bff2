#pragma once

#include <QString>

// Program-wide values, filled from Data.ini at start and changed by the
// settings window and the POP dialogue; they live for the whole run.
namespace ModTalvenor200 {

inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 0;

extern QString gFrom;     // sender address
extern QString gServer;   // SMTP server name
extern bool gPBSMTP;      // POP before SMTP is on
extern bool gOUTLOG;      // keep sent mails in the log
extern QString gPServer;  // POP server name
extern QString gUSER;     // POP user name
extern QString gPASS;     // POP password, held and sent as plain text
extern bool gSmtpPhase;   // the connection in progress is the SMTP one
extern bool gPopTest;     // the POP dialogue in progress is only a test

// Back to the values of a fresh start (tests).
void resetForTesting();

}  // namespace ModTalvenor200

