#include "write_log.h"

#include "mod_ini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace MailLog {

namespace {

const QString kUntitled = QStringLiteral("無題");
const QString kExtension = QStringLiteral(".eml");
constexpr int kLastNumber = 512;
constexpr qsizetype kMaxNameBytes = 255;  // longest file name the file systems take

// The subject as a file name can hold it: the characters no file name here
// or on Windows may hold become their full-width forms, control characters
// go. "." and ".." are ordinary names once ".eml" follows them.
QString nameBase(const QString& subject) {
  static constexpr QStringView kForbidden = u"/\\:*?\"<>|";
  static constexpr QStringView kFullWidth = u"／＼：＊？＂＜＞｜";
  QString base;
  base.reserve(subject.size());
  for (const QChar c : subject) {
    const qsizetype forbidden = kForbidden.indexOf(c);
    if (forbidden >= 0)
      base += kFullWidth[forbidden];
    else if (c.category() != QChar::Other_Control)
      base += c;
  }
  return base.isEmpty() ? kUntitled : base;
}

// base, shortened at a character boundary where the name with its suffix
// and ".eml" would not fit the file system (counted in UTF-8, a lone
// surrogate as the three bytes of its replacement).
QString fitted(const QString& base, const QString& suffix) {
  const qsizetype room = kMaxNameBytes - suffix.size() - kExtension.size();  // both ASCII
  qsizetype bytes = 0;
  qsizetype end = 0;
  while (end < base.size()) {
    const char16_t c = base[end].unicode();
    const bool pair = QChar::isHighSurrogate(c) && end + 1 < base.size() && base[end + 1].isLowSurrogate();
    const qsizetype charBytes = pair ? 4 : c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (bytes + charBytes > room) break;
    bytes += charBytes;
    end += pair ? 2 : 1;
  }
  return base.left(end) + suffix + kExtension;
}

bool fileExists(const QString& path) {
  const QFileInfo info(path);
  return info.exists() && !info.isDir();
}

}  // namespace

QString ChooseLogFileName(const QString& dayFolder, const QString& subject, const QDateTime& now,
                          const std::function<bool(const QString& path)>& exists) {
  const QString base = nameBase(subject);

  QString name = fitted(base, QString());
  if (exists(dayFolder + name)) {
    name.clear();
    for (int n = 1; n <= kLastNumber && name.isEmpty(); ++n) {
      const QString numbered = fitted(base, QLatin1Char('(') + QString::number(n) + QLatin1Char(')'));
      if (!exists(dayFolder + numbered)) name = numbered;
    }
    if (name.isEmpty()) {
      // All numbers taken: a titled mail takes the time stamp (and joins a
      // file of the same second), an untitled one joins the plain name.
      name = subject.isEmpty()
                 ? fitted(base, QString())
                 : fitted(base, QLatin1Char('(') + now.toString(QStringLiteral("Hmmss")) + QLatin1Char(')'));
    }
  }
  return name;
}

QString LogFolderPath() { return ModINI::AppFolder() + QStringLiteral("mailLOG"); }

// Every step runs even when one before it failed; a failure means that no
// log file is written, and the result says where and why.
LogResult WriteLog(const QByteArray& mailText, const QString& mSubject, const QDateTime& now) {
  // Sent mail is private: new folders and files are the user's alone
  // (folders and files that exist keep what they have).
  constexpr QFileDevice::Permissions kOwnerOnly =
      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
  const QString logFolder = LogFolderPath();
  if (!QFileInfo::exists(logFolder)) QDir().mkdir(logFolder, kOwnerOnly);

  const QString dayFolder = logFolder + QLatin1Char('/') + now.toString(QStringLiteral("yyyyMMdd"));
  if (!QFileInfo::exists(dayFolder)) QDir().mkdir(dayFolder, kOwnerOnly);

  const QString path = dayFolder + QLatin1Char('/') + ChooseLogFileName(dayFolder + QLatin1Char('/'), mSubject, now, fileExists);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    return {false, path, file.errorString()};
  const QByteArray record = mailText + QByteArrayLiteral("\r\n");
  if (file.write(record) != record.size() || !file.flush()) {
    const QString reason = file.errorString();
    return {false, path, reason};
  }
  return {true, path, QString()};
}

}  // namespace MailLog
