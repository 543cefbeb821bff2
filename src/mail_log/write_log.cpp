#include "write_log.h"

#include "ansi_code_page.h"
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

// A subject that cannot stand in a file name here or on Windows; it could
// also lead the file out of the day folder.
bool isForbiddenSubject(const QString& subject) {
  if (subject == QLatin1String(".") || subject == QLatin1String("..")) return true;
  for (const QChar c : subject) {
    if (c.category() == QChar::Other_Control) return true;
    if (QStringView(u"/\\:*?\"<>|").contains(c)) return true;
  }
  return false;
}

bool fileExists(const QString& path) {
  const QFileInfo info(path);
  return info.exists() && !info.isDir();
}

}  // namespace

QString ChooseLogFileName(const QString& dayFolder, const QString& subject, const QDateTime& now,
                          const std::function<bool(const QString& path)>& exists) {
  if (!subject.isEmpty() && isForbiddenSubject(subject)) return QString();
  const QString base = subject.isEmpty() ? kUntitled : subject;

  QString name = base + kExtension;
  if (exists(dayFolder + name)) {
    name.clear();
    for (int n = 1; n <= kLastNumber && name.isEmpty(); ++n) {
      const QString numbered = base + QLatin1Char('(') + QString::number(n) + QLatin1Char(')') + kExtension;
      if (!exists(dayFolder + numbered)) name = numbered;
    }
    if (name.isEmpty()) {
      // All numbers taken: a titled mail takes the time stamp (and joins a
      // file of the same second), an untitled one joins the plain name.
      name = subject.isEmpty()
                 ? base + kExtension
                 : base + QLatin1Char('(') + now.toString(QStringLiteral("Hmmss")) + QLatin1Char(')') + kExtension;
    }
  }
  if (name.toUtf8().size() > kMaxNameBytes) return QString();
  return name;
}

QString LogFolderPath() { return ModINI::AppFolder() + QStringLiteral("mailLOG"); }

// Every step runs even when one before it failed; a failure only means that
// no log file is written. Nothing is reported.
void WriteLog(const QString& mMessage, const QString& mSubject, const QDateTime& now) {
  WriteLogBytes(AnsiCodePage::fromUnicode(mMessage), mSubject, now);
}

void WriteLogBytes(const QByteArray& mailText, const QString& mSubject, const QDateTime& now) {
  const QString logFolder = LogFolderPath();
  if (!QFileInfo::exists(logFolder)) QDir().mkdir(logFolder);

  const QString dayFolder = logFolder + QLatin1Char('/') + now.toString(QStringLiteral("yyyyMMdd"));
  if (!QFileInfo::exists(dayFolder)) QDir().mkdir(dayFolder);

  const QString name = ChooseLogFileName(dayFolder + QLatin1Char('/'), mSubject, now, fileExists);
  if (name.isEmpty()) return;

  QFile file(dayFolder + QLatin1Char('/') + name);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
  file.write(mailText + QByteArrayLiteral("\r\n"));
}

}  // namespace MailLog
