#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

// The sent-mail log: every completely sent mail as an .eml file under
// mailLOG (beside the program, or in the user's data folder when installed:
// AppPlaces decides, and the writer is handed the place), one folder per day (yyyyMMdd), named after
// its subject. A log that cannot be written is reported by the caller.
namespace MailLog {

// Where the log goes: mailLOG in parent. An installed program's parent
// (the user's own data folder) is made (0700) when missing; the program's
// own folder is never made.
struct LogPlace {
  QString parent;  // with a trailing "/"
  bool makeParent = false;
  QString folder() const { return parent + QStringLiteral("mailLOG"); }
};

// The place in use, as AppPlaces decides it.
LogPlace placeInUse();
// The log folder in use: placeInUse().folder().
QString logFolderPath();

// The name a mail with this subject gets in the day folder (given with its
// trailing "/"): the subject ("無題" when empty) and ".eml", numbered (1) to
// (512) or time-stamped when taken, as `exists` tells for a full path.
// Characters no file name may hold become their full-width forms
// (／＼：＊？＂＜＞｜), control characters go, and a subject too long for
// the file system is shortened at a character boundary so that the whole
// name fits; every subject gets a name.
QString chooseLogFileName(const QString& dayFolder, const QString& subject, const QDateTime& now,
                          const std::function<bool(const QString& path)>& exists);

struct LogResult {
  bool written;
  QString path;    // the file written, or tried
  QString reason;  // why it was not written
};

// Appends the mail text (the bytes it was sent in) and CR LF to the file
// chosen for mSubject in today's folder of the log in place. Nothing is written through a
// symbolic link, into a FIFO or a hard-linked file, or into a log or day
// folder that is another user's or that others can write: the result says
// where and why.
LogResult writeLog(const LogPlace& place, const QByteArray& mailText, const QString& mSubject,
                   const QDateTime& now = QDateTime::currentDateTime());

}  // namespace MailLog
