#pragma once

#include <QDateTime>
#include <QString>

// The sent-mail log: every completely sent mail as an .eml file under
// mailLOG beside the program, one folder per day (yyyyMMdd), named after
// its subject. Failures are silent: the send has already been reported.
namespace MailLog {

// The program's folder followed by "mailLOG" (one separator between).
QString LogFolderPath();

// Appends mMessage and CR LF, in the ANSI code page, to the file chosen for
// mSubject in today's folder.
void WriteLog(const QString& mMessage, const QString& mSubject,
              const QDateTime& now = QDateTime::currentDateTime());

}  // namespace MailLog
