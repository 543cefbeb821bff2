#pragma once

#include <QString>

// One mail as the user confirmed it: captured when the send button is
// pressed and confirmed, and not changed while it is sent.
struct OutgoingMail {
  QString recipient;  // as typed, blanks kept
  QString from;
  QString subject;    // line breaks removed
  QString body;       // as typed, lines ending in CR LF
};
