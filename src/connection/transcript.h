#pragma once

#include <QLoggingCategory>
#include <QString>

// The transcript of every dialogue with a server: "--> " before each line
// the program sends, "<-- " before each line it receives, "*** " before
// what happened to the connection (connecting, TLS and its certificate, a
// failed handshake); each line after the time it was written
// ("12:34:56.789 --> EHLO ..."). Off unless switched on, for example with
//   QT_LOGGING_RULES="talvenor.transcript.debug=true" ./talvenor
// Passwords never appear in it.
Q_DECLARE_LOGGING_CATEGORY(lcTranscript)

namespace Transcript {

inline const QString kHidden = QStringLiteral("********");

// Each line of the text, as sent or as received.
void sent(const QString& text);
void received(const QString& text);
// What happened to the connection.
void note(const QString& text);

}  // namespace Transcript
