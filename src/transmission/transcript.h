#pragma once

#include <QLoggingCategory>
#include <QString>

// The transcript of every dialogue with a server: "--> " before each line
// the program sends, "<-- " before each line it receives. Off unless
// switched on, for example with
//   QT_LOGGING_RULES="talvenor.transcript.debug=true" ./talvenor
// Passwords never appear in it.
Q_DECLARE_LOGGING_CATEGORY(lcTranscript)

namespace Transcript {

inline const QString kHidden = QStringLiteral("********");

// Each line of the text, as sent or as received.
void sent(const QString& text);
void received(const QString& text);
// A line of the program's own about the dialogue, marked "---".
void note(const QString& text);

}  // namespace Transcript
