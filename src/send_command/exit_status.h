#pragma once

// How talvenor-send ends, as sysexits.h numbers them (as msmtp does).
enum class ExitStatus : int {
  Sent = 0,
  Usage = 64,        // the command line
  DataRefused = 65,  // address, characters, body limit, input not UTF-8: before connecting
  NoInput = 66,      // the body cannot be read
  NoHost = 68,       // host not found
  Unavailable = 69,  // refused connection, TLS or certificate, 5xx, no STARTTLS/AUTH
  Temporary = 75,    // 4xx, time limit, connection closed early
  Permission = 77,   // AUTH or POP login refused, keyring refused or unreachable
  Configuration = 78,  // Data.ini missing, unreadable or without a value the send needs
};
