#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

// The sent-mail log: every completely sent mail as an .eml file under
// mailLOG beside the program, one folder per day (yyyyMMdd), named after
// its subject. Failures are silent: the send has already been reported.
namespace MailLog {

// The program's folder followed by "mailLOG" (one separator between).
QString LogFolderPath();

// The name a mail with this subject gets in the day folder (given with its
// trailing "/"): the subject ("無題" when empty) and ".eml", numbered (1) to
// (512) or time-stamped when taken, as `exists` tells for a full path.
// Empty when the subject cannot stand in a file name here or on Windows.
QString ChooseLogFileName(const QString& dayFolder, const QString& subject, const QDateTime& now,
                          const std::function<bool(const QString& path)>& exists);

// Appends mMessage and CR LF, in the ANSI code page, to the file chosen for
// mSubject in today's folder.
void WriteLog(const QString& mMessage, const QString& mSubject,
              const QDateTime& now = QDateTime::currentDateTime());

// The same for a mail text already in the bytes it was sent in.
void WriteLogBytes(const QByteArray& mailText, const QString& mSubject,
                   const QDateTime& now = QDateTime::currentDateTime());

}  // namespace MailLog
